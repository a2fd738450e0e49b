#include "report/error_page.h"

#include <cstring>

#include "platform/platform.h"
#include "report/messages.h"

namespace report {

const char kContactAddress[] = "frameleaf-reports@example.org";

std::string EscapeCell(const char* text) {
  if (!text || std::strcmp(text, "&nbsp;") == 0) return "&nbsp;";
  std::string out;
  const char* p = text;
  for (std::size_t taken = 0; *p && taken < kMaxCellText; ++p, ++taken) {
    switch (*p) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += *p;
    }
  }
  if (*p) out += " ...";
  return out;
}

std::string BuildErrorPage(const char* message, const char* host, const char* url,
                           const char* expression) {
  std::string page;
  page += "<html><body><p align=\"center\"><b>";
  page += msg::kHeading;
  page += EscapeCell(message);
  page += "</b></p>";
  page +=
      "<table width=\"70%\" border=\"0\" align=\"center\"><tr><td width=\"15%\" "
      "height=\"19\"><div align=\"right\"><b>host:</b></div></td>";
  page += "<td width=\"85%\" height=\"19\"><blockquote><p>";
  page += EscapeCell(host);
  page += "</p></blockquote></td></tr>";
  page +=
      "<tr><td width=\"15%\"><div align=\"right\"><b>url:</b></div></td><td "
      "width=\"85%\"><blockquote><p>";
  page += EscapeCell(url);
  page += "</p></blockquote></td></tr>";
  page +=
      "<tr><td width=\"15%\"> <div align=\"right\"><b>expression:</b></div></td><td "
      "width=\"85%\"> <blockquote><p>";
  page += EscapeCell(expression);
  page += "</p></blockquote></td></tr></table>";
  page += "<p align=\"center\">";
  page += msg::kSendReport;
  page += "<a href=\"mailto:";
  page += kContactAddress;
  page += "\">";
  page += kContactAddress;
  page += "</a></p></body></html>";
  return page;
}

int ReportError(const char* pagePath, const char* message, const char* host, const char* url,
                const char* expression) {
  const std::string page = BuildErrorPage(message, host, url, expression);
  bool written = false;
  return platform::WriteWholeFile(pagePath, page.data(), page.size(), &written) ? 1 : 0;
}

int ErrorReporter::Report(const char* message, const char* host, const char* url,
                          const char* expression) {
  ++reports_;
  if (history_) {
    history_->push_back(ReportRecord{message ? message : "", host ? host : "", url ? url : "&nbsp;",
                                     expression ? expression : "&nbsp;"});
  }
  if (path_.empty()) return 0;
  return ReportError(path_.c_str(), message, host, url, expression);
}

}  // namespace report
