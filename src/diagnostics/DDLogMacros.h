#pragma once

// The one way Telvora's code logs: asynchronous, level Verbose (31), context 65535,
// the call site's position and function, and the source file's base name as the
// first "%@" of every format ("%@: => initSocket").
#include "diagnostics/DDLog.h"
#include "foundation/Format.h"

#define TVI_LOG_CONTEXT 65535

// A class whose operations are spread over several files (by concern) names itself:
// #define TVI_LOG_CLASS_NAME "TVISocket" before the first log call of such a file.
#ifdef TVI_LOG_CLASS_NAME
#define TVI_LOG_SOURCE_NAME std::string_view(TVI_LOG_CLASS_NAME)
#else
#define TVI_LOG_SOURCE_NAME ::tvi::fileBaseName(__FILE__)
#endif

#define TVI_LOG_FLAGGED(flag, fmt, ...)                                                                  \
    ::tvi::DDLog::log(true, ::tvi::DDLogLevelVerbose, (flag), TVI_LOG_CONTEXT, __FILE__, __func__,   \
                      __LINE__, (fmt), TVI_LOG_SOURCE_NAME __VA_OPT__(, ) __VA_ARGS__)

#define DDLogError(fmt, ...) TVI_LOG_FLAGGED(::tvi::DDLogFlagError, fmt __VA_OPT__(, ) __VA_ARGS__)
#define DDLogWarn(fmt, ...) TVI_LOG_FLAGGED(::tvi::DDLogFlagWarning, fmt __VA_OPT__(, ) __VA_ARGS__)
#define DDLogInfo(fmt, ...) TVI_LOG_FLAGGED(::tvi::DDLogFlagInfo, fmt __VA_OPT__(, ) __VA_ARGS__)
