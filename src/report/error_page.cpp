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

namespace {

// True when text is well-formed UTF-8 holding at least one multi-byte character.
bool IsWideUtf8(const std::string& text) {
  bool wide = false;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t n = c < 0x80             ? 1
                          : (c & 0xE0) == 0xC0 ? 2
                          : (c & 0xF0) == 0xE0 ? 3
                          : (c & 0xF8) == 0xF0 ? 4
                                               : 0;
    if (n == 0 || i + n > text.size() || (n == 2 && c < 0xC2)) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    wide |= n > 1;
    i += n;
  }
  return wide;
}

// A cell in UTF-8 with a letter the code page lacks: the page must be written in UTF-8, or
// that letter would be lost.
bool NeedsUtf8(const char* cell) {
  if (!cell) return false;
  const std::string text = cell;
  return IsWideUtf8(text) && platform::AnsiToUtf8(platform::Utf8ToAnsi(text)) != text;
}

// A cell for a page in UTF-8: text already in UTF-8 stays, code-page text is converted.
std::string Utf8Cell(const char* cell) {
  if (!cell) return std::string();
  const std::string text = cell;
  bool plain = true;
  for (const char ch : text)
    plain &= static_cast<unsigned char>(ch) < 0x80;
  return plain || IsWideUtf8(text) ? text : platform::AnsiToUtf8(text);
}

// The document; the texts of the system (heading, closing line) in the page's encoding.
std::string AssemblePage(const std::string& heading, const char* message, const char* host,
                         const char* url, const char* expression, const std::string& send,
                         bool utf8) {
  std::string page;
  page += utf8 ? "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                 "charset=utf-8\"></head><body><p align=\"center\"><b>"
               : "<html><body><p align=\"center\"><b>";
  page += heading;
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
  page += send;
  page += "<a href=\"mailto:";
  page += kContactAddress;
  page += "\">";
  page += kContactAddress;
  page += "</a></p></body></html>";
  return page;
}

}  // namespace

std::string BuildErrorPage(const char* message, const char* host, const char* url,
                           const char* expression) {
  // The page is 8-bit text in the code page, as it always was, unless a cell holds letters
  // the code page lacks: then the whole page is UTF-8 and says so.
  if (NeedsUtf8(host) || NeedsUtf8(url) || NeedsUtf8(expression)) {
    const std::string m = platform::AnsiToUtf8(message ? message : "");
    const std::string h = Utf8Cell(host), u = Utf8Cell(url), x = Utf8Cell(expression);
    return AssemblePage(platform::AnsiToUtf8(msg::kHeading), message ? m.c_str() : nullptr,
                        host ? h.c_str() : nullptr, url ? u.c_str() : nullptr,
                        expression ? x.c_str() : nullptr, platform::AnsiToUtf8(msg::kSendReport),
                        true);
  }
  return AssemblePage(msg::kHeading, message, host, url, expression, msg::kSendReport, false);
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
  // Null cells are kept as the blank they stand for.
  ReportRecord record{message ? message : "", host ? host : "", url ? url : "&nbsp;",
                      expression ? expression : "&nbsp;"};
  if (history_) history_->push_back(record);
  if (holds_ > 0) {
    last_ = std::move(record);
    pending_ = true;
    return 1;
  }
  return Write(record);
}

int ErrorReporter::Write(const ReportRecord& r) {
  if (path_.empty()) return 0;
  return ReportError(path_.c_str(), r.message.c_str(), r.host.c_str(), r.url.c_str(),
                     r.expression.c_str());
}

void ErrorReporter::Hold() {
  ++holds_;
}

int ErrorReporter::Release() {
  if (holds_ > 0) --holds_;
  if (holds_ > 0 || !pending_) return 0;
  pending_ = false;
  return Write(last_);
}

}  // namespace report
