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
  kStalled,             // no connection within its time, or no byte for the stall time
  kStopped,             // stopped at the caller's deadline or at the user's word
};

// Why the body of the last answer could not be read whole.
enum class ReadFailure {
  kNone,
  kBrokenOff,  // the connection ended (reset or closed) before the body was whole
  kTooLarge,   // the body is (or says it is) longer than the bound on one answer
  kStalled,    // no byte came for the stall time
  kStopped,    // stopped at the caller's deadline or at the user's word
};
bool IsCertificateFailure(Failure failure);
// The failure an internet library error code stands for.
Failure FailureOf(std::uint32_t error);

}  // namespace net
