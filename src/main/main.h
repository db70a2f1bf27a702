#pragma once
// Run control and the command line.

#include "main/datetime_arg.h"
#include "main/default_option.h"
#include "main/errors.h"
#include "main/option.h"
#include "main/option_sources.h"
#include "main/parser.h"
#include "main/run.h"
#include "main/usage.h"
