// A request: the address to list, taken apart into what every later step needs (host, site
// script, mode, page path, user, album, photo server). Built once by AnalyseRequest and
// read, never changed, by the steps that follow.
#pragma once

#include <functional>
#include <string>

#include "common/byte_string.h"
#include "engine/listing.h"
#include "engine/site_script.h"
#include "engine/tools.h"
#include "extract/template.h"

namespace engine {

struct Request {
  common::ByteString url;         // the address under analysis, "http://..." whatever its scheme
  bool secure = false;            // every request of the listing uses https
  common::ByteString host;        // template variable Host; the host pages are read from
  common::ByteString scriptName;  // the script in use
  std::string scriptPath;
  SiteScript script;  // entry expressions already expanded for this request
  int mode = kModeNone;
  common::ByteString pagePath;     // the first page's path on host
  common::ByteString user;         // template variable User
  common::ByteString album;        // template variable Album
  common::ByteString photoServer;  // the expansion of ServFoto, with the listing's scheme
  common::ByteString cookieText;   // the cookies read for this host, "a=1; b=2"
};

// The cookie text kept for a host.
using CookieLookup = std::function<common::ByteString(const common::ByteString& host)>;

// Where site scripts come from: the scripts folder (ending in a separator), and the
// settings file whose [sites] section binds hosts to scripts (empty: no bindings).
struct ScriptPlaces {
  std::string scriptsFolder;
  std::string settingsFile;
};

// Takes url apart and reads the site script; the request's cookies are those kept for its
// host. False after a report.
bool AnalyseRequest(Tools& tools, const ScriptPlaces& places, const common::ByteString& url,
                    const CookieLookup& cookies, Request* request);

// The script a host is looked up under first: the host without its first label where at
// least two labels remain (photos.example.test: example.test), else the whole host (a host
// of one or two labels, an address of digits); a port is left out.
common::ByteString DomainScriptName(const common::ByteString& host);
// The script [sites] in settingsFile binds host to (the key is the host as written, port
// and all, or else without its port; letter case aside). False without one.
bool BoundScript(const std::string& settingsFile, const common::ByteString& host,
                 common::ByteString* script);

// The steps of the analysis, in the order AnalyseRequest runs them; false after a report.
bool DetermineHost(Tools& tools, Request* request);
bool DetermineMode(Tools& tools, Request* request);
// A missing page path is reported (naming the address) but stops nothing; for a site
// without users (a gallery) the bare host is its top, and nothing is reported.
void DeterminePagePath(Tools& tools, Request* request);
bool DetermineUserAndAlbum(Tools& tools, Request* request);

// Expands a template of the request with page as Page and slots as Match[0]...; placeholders
// without names (E28) and runaway expansions (E36) are reported.
common::ByteString Expand(Tools& tools, const Request& request, const common::ByteString& text,
                          int page, const extract::MatchSlots& slots);

// The server the request's pages are asked from: its host, with https when secure.
std::string PageServer(const Request& request);

// Reports a request that failed: message, or the certificate's or the redirect's own report
// (E40, E41) with the server, the system's error code and a refused redirect's address. A
// null message reports only those.
void ReportRequestFailure(Tools& tools, const char* host, const char* message, const char* url);
// The same for one page of a batch that was not answered.
void ReportRequestFailure(Tools& tools, const char* host, const char* message, const char* url,
                          const net::PageAnswer& answer);

// Reports a failure of this request on the error page.
void Report(Tools& tools, const Request& request, const char* message, const char* url,
            const char* expression);

}  // namespace engine
