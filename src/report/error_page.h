// The error page: one small HTML document beside the module that explains the last failure.
// Each report replaces the previous one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace report {

// Address the closing paragraph invites the user to send the report to.
extern const char kContactAddress[];

// A cell shows at most this many bytes of its text, then " ..."; an entry or a template
// taken from a page may be megabytes long, and the page is for reading.
constexpr std::size_t kMaxCellText = 4096;

// A cell with nothing to show: the page shows a blank there.
constexpr const char* kBlankCell = nullptr;

// Escapes & < > " so that text taken from web pages and addresses cannot change the page,
// and cuts it to kMaxCellText bytes. The placeholder "&nbsp;" for an empty cell passes
// unchanged.
std::string EscapeCell(const char* text);

// The whole document for one report, as one line of 8-bit text.
std::string BuildErrorPage(const char* message, const char* host, const char* url,
                           const char* expression);

// Writes the report to pagePath, replacing what was there. 1 when the file was written,
// 0 when it could not be created.
int ReportError(const char* pagePath, const char* message, const char* host, const char* url,
                const char* expression);

// One report as it was made.
struct ReportRecord {
  std::string message, host, url, expression;
};

// The one writer of the error page, owned by the plug-in's state and handed to every part
// that reports a failure. Before a path is set nothing is written.
class ErrorReporter {
 public:
  void SetPath(const char* pagePath) { path_ = pagePath ? pagePath : ""; }
  const std::string& path() const { return path_; }
  // Replaces the page with this report; 1 when it was written.
  int Report(const char* message, const char* host, const char* url, const char* expression);
  // How many reports were made since the module was loaded (written or not).
  unsigned long reports() const { return reports_; }
  // Every later report is also appended to history (tests read what the page no longer
  // shows); null stops that.
  void KeepHistory(std::vector<ReportRecord>* history) { history_ = history; }

 private:
  std::string path_;
  unsigned long reports_ = 0;
  std::vector<ReportRecord>* history_ = nullptr;
};

}  // namespace report
