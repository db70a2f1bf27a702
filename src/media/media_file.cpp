#include "media/media_file.h"

#include <cstring>
#include <vector>

namespace {

// The first bytes of a file (where every reader finds most of what it
// wants) are read at once, everything after them as a reader asks.
constexpr size_t HeadBytes = 64 * 1024;

class TFileSource : public TByteSource {
public:
    TFileSource(TReadHandle file, uint64_t size) : File(file), Length(size) {
        Head.resize(size < HeadBytes ? size_t(size) : HeadBytes);
        size_t got = 0;
        if (!Platform().ReadAt(File, 0, Head.data(), Head.size(), got))
            Fail();
        Head.resize(got);
    }
    uint64_t Size() const override { return Length; }
    bool Read(uint64_t offset, void *buffer, size_t size) override {
        if (!Within(offset, size, Length))
            return false;
        if (Within(offset, size, Head.size())) {
            if (size != 0)
                std::memcpy(buffer, Head.data() + offset, size);
            return true;
        }
        if (ErrorCode != 0)
            return false;
        size_t got = 0;
        if (!Platform().ReadAt(File, offset, buffer, size, got)) {
            Fail();
            return false;
        }
        return got == size; // the file got shorter since it was opened
    }
    uint32_t ErrorCode = 0;

private:
    void Fail() {
        ErrorCode = Platform().LastErrorCode();
        if (ErrorCode == 0)
            ErrorCode = uint32_t(-1);
    }
    TReadHandle File;
    uint64_t Length;
    std::vector<uint8_t> Head;
};

std::string FileNameOf(const std::string &name) {
    const size_t cut = name.find_last_of(HasDriveSyntax ? "\\/:" : "/");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::string SystemText(uint32_t code) {
    const std::string text = code == uint32_t(-1) ? std::string() : Platform().ErrorText(code);
    return text.empty() ? "code " + std::to_string(code) : text;
}

} // namespace

bool ReadFileMediaDate(TFolderHandle folder, const std::string &name, bool followLink,
                       TMediaDate &date, std::string &reason) {
    std::string contents;
    uint64_t size = 0;
    TReadFile file(Platform().OpenForReading(folder, name, followLink, size));
    if (!file.IsOpen()) {
        contents = "中身を読めません (" + SystemText(Platform().LastErrorCode()) + ")";
    } else {
        TFileSource source(file.Get(), size);
        const TMediaResult result = ReadContentDate(source);
        if (result.Finding == mfFound) {
            date = result.Date;
            return true;
        }
        const std::string container = ContainerName(result.Container);
        if (source.ErrorCode != 0)
            contents = "中身を読めません (" + SystemText(source.ErrorCode) + ")";
        else if (result.Container == mcUnknown)
            contents = "中身は撮影日時を読める形式 (JPEG、TIFF、PNG、WebP、HEIF、QuickTime) "
                       "ではありません";
        else if (result.Finding == mfBroken)
            contents = container + " として壊れています";
        else if (result.Container == mcQuickTime)
            contents = "QuickTime の mvhd に作成日時がありません";
        else
            contents = container + " の Exif に DateTimeOriginal も DateTimeDigitized もありません";
    }
    if (ReadNameDate(FileNameOf(name), date))
        return true;
    reason = contents + "。名前にも日付がありません";
    return false;
}
