// Why a request of the HTTP session failed.
#pragma once

#include <cstdint>

namespace net {

// Why the last request failed.
enum class Failure {
  kNone,
  kConnection,          // no connection, or the request could not be sent
  kCertificateIssuer,   // the certificate's issuer is not trusted
  kCertificateName,     // the certificate is for another name
  kCertificateDate,     // the certificate has expired or is not valid yet
  kCertificateInvalid,  // the certificate fails for another reason (revoked, unusable)
  kSecureChannel,       // the secure connection could not be made
  kRedirectRefused,     // a redirect the rules do not follow
  kTooManyRedirects,    // more than kMaxRedirects in a row
};
bool IsCertificateFailure(Failure failure);
// The failure an internet library error code stands for.
Failure FailureOf(std::uint32_t error);

}  // namespace net
