#include "engine/unlock.h"

#include "extract/form.h"
#include "report/messages.h"

namespace engine {

namespace {
constexpr int kAnswerSize = 260;
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
  e.slots[0] = password;
  e.slots[1] = password;
  common::ByteString body;
  if (!extract::EncodeFormBody(e.Expand(s.passSendForm), &body)) {
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
