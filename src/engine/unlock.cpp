#include "engine/unlock.h"

#include <string>

#include "extract/form.h"
#include "report/messages.h"

namespace engine {

namespace {

constexpr int kAnswerSize = 260;
// Stands for the password while the form template is expanded. An encoded password holds
// "%", and a "%" that does not begin a placeholder makes the template language drop the
// text before it when a later placeholder is filled; the marker holds none of the
// language's characters, and the password takes its place once the template is expanded.
constexpr char kPasswordMarker[] = "\x01password\x01";

common::ByteString ReplaceMarker(const common::ByteString& text,
                                 const common::ByteString& password) {
  std::string out = text.str();
  const std::string marker = kPasswordMarker;
  for (std::size_t at = out.find(marker); at != std::string::npos;
       at = out.find(marker, at + password.size())) {
    out.replace(at, marker.size(), password.str());
  }
  return out;
}

// The form body: PassSendForm with the password as the first two match slots.
common::ByteString FormBody(Engine& e, const common::ByteString& password) {
  e.slots[0] = kPasswordMarker;
  e.slots[1] = kPasswordMarker;
  const common::ByteString body = ReplaceMarker(e.Expand(e.script.passSendForm), password);
  e.slots[0] = password;
  e.slots[1] = password;
  return body;
}

}  // namespace

int UnlockAlbum(Engine& e) {
  RequestState& st = e.state;
  const SiteScript& s = e.script;
  st.albumUnlocked = 0;
  if (!s.hasPassRequest) return 0;
  common::ByteString formPath;
  if (!e.search.FindGroup(s.passRequest.c_str(), st.pageText.c_str(), 0, &formPath)) {
    if (e.search.Find(s.passExpression.c_str(), st.pageText.c_str())) {
      st.albumUnlocked = 1;
      return 1;
    }
    return 0;
  }
  char answer[kAnswerSize] = {};
  if (!e.prompts || !e.prompts->AskPassword(answer, kAnswerSize)) return 0;
  answer[kAnswerSize - 1] = '\0';
  // The password enters the form as a form-encoded value, through slots 0 and 1.
  const common::ByteString password = extract::FormEncodeValue(answer);
  common::ByteString body;
  if (!extract::EncodeFormBody(FormBody(e, password), &body)) {
    e.Report(report::msg::kFormTooLong, formPath, s.passSendForm);
    return 0;
  }
  const common::ByteString referrer =
      common::ByteString("http://") + st.host + "/" + st.pagePath + "denied/";
  if (!e.http.Post(formPath.c_str(), body.c_str(), referrer.c_str())) {
    e.Report(report::msg::kRequestE14, st.pagePath, kNothing);
    return 0;
  }
  st.pageText = e.ReadPage();
  if (st.pageText.empty()) return 0;
  const common::ByteString site = common::ByteString("http://") + st.host;
  if (e.http.ReadCookie(site.c_str(), st.cookieText)) st.albumUnlocked = 1;
  return 1;
}

}  // namespace engine
