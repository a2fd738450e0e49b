#include <string>

#include <gtest/gtest.h>

#include "report/error_page.h"
#include "report/messages.h"
#include "test_files.h"

namespace {

TEST(EscapeCell, EscapesMarkupButKeepsTheEmptyCellPlaceholder) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"&nbsp;", "&nbsp;"},
      {"a&b", "a&amp;b"},
      {"<script>", "&lt;script&gt;"},
      {"say \"hi\"", "say &quot;hi&quot;"},
      {"&nbsp;&nbsp;", "&amp;nbsp;&amp;nbsp;"},
      {"", ""},
      {"http://h/p?a=1&b=<2>", "http://h/p?a=1&amp;b=&lt;2&gt;"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(report::EscapeCell(c.in), c.out) << c.in;
}

TEST(BuildErrorPage, HeadingCellsAndContactInOneLine) {
  const std::string page = report::BuildErrorPage(report::msg::kLoadLibrary[0],
                                                  "C:\\p\\frameleaf.dll", "&nbsp;", "&nbsp;");
  // "Ошибка " in Windows-1251, then the message.
  EXPECT_NE(page.find("<p align=\"center\"><b>\xCE\xF8\xE8\xE1\xEA\xE0 "
                      "\xE7\xE0\xE3\xF0\xF3\xE7\xEA\xE8 DLL E1</b></p>"),
            std::string::npos);
  EXPECT_NE(page.find("height=\"19\"><blockquote><p>C:\\p\\frameleaf.dll</p>"), std::string::npos);
  EXPECT_NE(page.find("<b>url:</b></div></td><td width=\"85%\"><blockquote><p>&nbsp;</p>"),
            std::string::npos);
  EXPECT_NE(page.find("<td width=\"15%\"> <div align=\"right\"><b>expression:</b></div></td><td "
                      "width=\"85%\"> <blockquote><p>&nbsp;</p>"),
            std::string::npos);
  EXPECT_EQ(page.find('\n'), std::string::npos);
  EXPECT_EQ(page.rfind("</a></p></body></html>"), page.size() - 22);
  EXPECT_NE(page.find(std::string("mailto:") + report::kContactAddress), std::string::npos);
}

TEST(BuildErrorPage, EmptyHostLeavesTheParagraphEmpty) {
  const std::string page = report::BuildErrorPage(report::msg::kHost, "", "http://x", "(a)");
  EXPECT_NE(page.find("<blockquote><p></p></blockquote>"), std::string::npos);
}

TEST(ReportError, EachReportReplacesTheLast) {
  testing_support::ScratchFolder dir;
  const std::string path = dir.File("frameleaf.htm");
  EXPECT_EQ(
      report::ReportError(path.c_str(), report::msg::kScript, "first.example<", "&nbsp;", "&nbsp;"),
      1);
  EXPECT_EQ(
      report::ReportError(path.c_str(), report::msg::kMode, "second.example", "u&v", "&nbsp;"), 1);
  const std::string page = dir.Read("frameleaf.htm");
  EXPECT_EQ(page.find("first.example"), std::string::npos);
  EXPECT_NE(page.find("second.example"), std::string::npos);
  EXPECT_NE(page.find("u&amp;v"), std::string::npos);
  EXPECT_EQ(page, report::BuildErrorPage(report::msg::kMode, "second.example", "u&v", "&nbsp;"));
}

TEST(ReportError, UnwritableFolderLosesTheReportQuietly) {
  testing_support::ScratchFolder dir;
  EXPECT_EQ(report::ReportError(dir.File("no-folder\\frameleaf.htm").c_str(), report::msg::kScript,
                                "h", "u", "e"),
            0);
}

}  // namespace

namespace {

TEST(EscapeCell, LongTextIsCutToWhatAPageShows) {
  const std::string longText(report::kMaxCellText + 100, 'x');
  EXPECT_EQ(report::EscapeCell(longText.c_str()), std::string(report::kMaxCellText, 'x') + " ...");
  const std::string exact(report::kMaxCellText, '&');
  const std::string escaped = report::EscapeCell(exact.c_str());
  EXPECT_EQ(escaped.size(), report::kMaxCellText * 5);  // every byte escaped, none cut
}

}  // namespace

namespace {

TEST(ErrorPage, WrittenInUtf8OnlyWhenACellHoldsLettersTheCodePageLacks) {
  const std::string greek = "http://x.test/\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1/";
  const std::string heading = "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0";  // UTF-8
  const struct {
    const char* title;
    std::string url;
    bool utf8;
  } rows[] = {
      {"ASCII only", "http://x.test/a/", false},
      {"letters of the code page, in the code page", "http://x.test/\xCC\xEE\xF0\xE5/", false},
      {"Greek in UTF-8", greek, true},
      {"an emoji in UTF-8", "http://x.test/\xF0\x9F\x93\xB7/", true},
      {"bytes that are no UTF-8", "http://x.test/\xFF\xFE/", false},
  };
  for (const auto& r : rows) {
    const std::string page =
        report::BuildErrorPage(report::msg::kMode, "x.test", r.url.c_str(), nullptr);
    const bool declared = page.find("charset=utf-8") != std::string::npos;
    EXPECT_EQ(declared, r.utf8) << r.title;
    if (r.utf8) {
      EXPECT_NE(page.find(r.url), std::string::npos) << r.title;
      EXPECT_NE(page.find(heading), std::string::npos) << r.title;  // the system's text too
    } else {
      EXPECT_EQ(page.find(heading), std::string::npos) << r.title;
    }
  }
}

}  // namespace
