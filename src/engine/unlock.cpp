#include "engine/unlock.h"

#include <string>

#include "engine/pages.h"
#include "extract/form.h"
#include "report/messages.h"

namespace engine {

namespace {

using common::ByteString;

constexpr int kAnswerSize = 260;
// Stands for the password while the form template is expanded. An encoded password holds
// "%", which the template language would read as the start of a placeholder; the marker
// holds none of the language's characters, and the password takes its place afterwards.
constexpr char kPasswordMarker[] = "\x01password\x01";

ByteString ReplaceMarker(const ByteString& text, const ByteString& password) {
  std::string out = text.str();
  const std::string marker = kPasswordMarker;
  for (std::size_t at = out.find(marker); at != std::string::npos;
       at = out.find(marker, at + password.size())) {
    out.replace(at, marker.size(), password.str());
  }
  return out;
}

// The form body: PassSendForm with the password as Match[0] and Match[1].
ByteString FormBody(Tools& t, const Request& r, const ByteString& password) {
  extract::MatchSlots slots;
  slots[0] = kPasswordMarker;
  slots[1] = kPasswordMarker;
  return ReplaceMarker(Expand(t, r, r.script.passSendForm, 1, slots), password);
}

// Asks for the password and posts the form at formPath; the answer page, or empty.
ByteString PostPassword(Tools& t, const Request& r, const ByteString& formPath) {
  char answer[kAnswerSize] = {};
  if (!t.prompts || !t.prompts->AskPassword(answer, kAnswerSize)) return ByteString();
  answer[kAnswerSize - 1] = '\0';
  // The password enters the form as a form-encoded value.
  const ByteString password = extract::FormEncodeValue(answer);
  ByteString body;
  if (!extract::EncodeFormBody(FormBody(t, r, password), &body)) {
    Report(t, r, report::msg::kFormTooLong, formPath.c_str(), r.script.passSendForm.c_str());
    return ByteString();
  }
  const ByteString referrer =
      ByteString(r.secure ? "https://" : "http://") + r.host + "/" + r.pagePath + "denied/";
  const PageFetch posted =
      FetchPage(t.http, t.budget, PageServer(r).c_str(), formPath, body.c_str(), referrer.c_str());
  if (!posted.sent) {
    if (posted.failure != net::Failure::kStopped)
      ReportRequestFailure(t, r.host.c_str(), report::msg::kRequestE14, r.pagePath.c_str());
    return ByteString();
  }
  return posted.body;
}

}  // namespace

PageUnlock UnlockPage(Tools& t, const Request& r, const ByteString& base, const ByteString& page,
                      UnlockState* state) {
  PageUnlock out;
  out.page = page;
  const SiteScript& s = r.script;
  if (!s.hasPassRequest) return out;
  ByteString found;
  if (!t.search.FindGroup(s.passRequest.c_str(), page.c_str(), 0, &found)) {
    // A page without the form may be the open album itself.
    out.passEntries = out.unlocked = t.search.Find(s.passExpression.c_str(), page.c_str());
    return out;
  }
  // A site that shows the form again after the password was given gets no second prompt.
  if (state->asked) return out;
  state->asked = true;
  // The form's action is a link like any other: resolved against the page, on the site and
  // at most 2 KB, or reported and never posted to (nor the password asked for).
  const ByteString formPath =
      ResolveEntryLink(t, r, base, found, SiteServers(r, ByteString()), s.passRequest.c_str());
  if (!HasAddress(formPath)) return out;
  const ByteString answer = PostPassword(t, r, formPath);
  if (answer.empty()) return out;
  out.page = answer;
  out.passEntries = true;
  char cookie[net::kCookieBufferSize] = {};
  const ByteString site = ByteString(r.secure ? "https://" : "http://") + r.host;
  // The cookies the password brought stay with the session from one listing to the next.
  net::Origin origin;
  if (net::ParseServer(site.c_str(), &origin)) t.http.cookies().Keep(origin.host);
  if (t.http.ReadCookie(site.c_str(), cookie)) {
    out.unlocked = true;
    out.cookieText = cookie;
  }
  return out;
}

}  // namespace engine
