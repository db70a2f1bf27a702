#pragma once
// Timestamp engine, file selection and reporting.

#include "sub/folder_helper.h"
#include "sub/fs_rounding.h"
#include "sub/output.h"
#include "sub/paths.h"
#include "sub/report.h"
#include "sub/restore.h"
#include "sub/stamp_item.h"
#include "sub/stamp_source.h"
#include "sub/timevalue.h"
#include "sub/walker.h"
