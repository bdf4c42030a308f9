// The diagnostics file a repair shop asks for when a machine did not come
// back as it should: one UTF-8 text with everything the boot hand-off
// depends on -- the program and its build, the survey's eight lines, the
// readiness check, config.ini, the PE task file, the boot store as the
// system's tool lists it (boot.ini on XP/2003), the carried tools, the free
// space of every fixed drive and the end of the run log. It reads; it never
// includes anything from the user's own folders (a log line that names a
// file there is left out).
#pragma once

#include <vector>

#include "platform/platform.h"

namespace mv {

// One section of the file; texts are GBK like every text of the program.
struct ReportSection {
  Text title;
  std::vector<Text> lines;
};

// What only the program knows about itself.
struct ReportSources {
  Text version;  // "OSR1.1.19.819"
  Text build;    // file version, bitness, compiler and date of the build
  // The survey's eight lines as the window shows them; empty: read now,
  // without anything the survey writes.
  std::vector<Text> survey_lines;
};

constexpr size_t kReportLogLines = 500;

// The sections, in the order above. The work directory, the PE task file's
// path and the partition listing must have been fixed first.
std::vector<ReportSection> GatherDiagnostics(const ReportSources& sources);

// The file's bytes: a UTF-8 byte-order mark, then each section as
// "==== title ====" and its lines, CR LF line ends.
Bytes DiagnosticsFileBytes(const std::vector<ReportSection>& sections);

// The last `count` lines of a text (LF or CR LF line ends; the line ends
// are not kept).
std::vector<Text> LastLines(const Text& text, size_t count);

// GBK text as UTF-8 (through the platform's conversion).
std::string GbkToUtf8(const Text& gbk);

// The desktop + "MV_OSR诊断信息_" + yyyyMMddhhmmss + ".txt".
Text DefaultReportPath();

}  // namespace mv
