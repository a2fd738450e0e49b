// The failure messages shown on the error page. Each completes the heading word "Error" and
// ends in its code; the texts are Windows-1251 bytes (messages.cpp is compiled to that
// character set).
#pragma once

#include <string>

#include "net/failure.h"

namespace report {
namespace msg {

extern const char kLoadLibrary[7][32];  // E1..E7: loading the matching library, by step
extern const char kInitLibrary[];       // E8
extern const char kScript[];            // E9
extern const char kMode[];              // E10
extern const char kPagePath[];          // E11
extern const char kAuthor[];            // E11
extern const char kNoMode[];            // E12
extern const char kRequestE14[];
extern const char kReadE15[];
extern const char kNoAlbum[];  // E16
extern const char kRequestE17[];
extern const char kReadE18[];
extern const char kNoPhoto[];    // E19
extern const char kNames[];      // E20
extern const char kAlbumName[];  // E21
extern const char kHost[];       // E22
extern const char kRequestE23[];
extern const char kRequestE24[];
extern const char kPhotoName[];   // E25
extern const char kZeroSize[];    // no code
extern const char kCreateFile[];  // E26
extern const char kWriteFile[];   // E27
extern const char kParameters[];  // E28
extern const char kConvertE29[];
extern const char kConvertE30[];
extern const char kConvertE31[];
extern const char kRequestE32[];
extern const char kReadE33[];
extern const char kUrlE33[];
extern const char kUrlE34[];
extern const char kPagingCut[];         // E35: a listing stopped after its page limit
extern const char kRunaway[];           // E36: a template's result grew past its bound
extern const char kFormTooLong[];       // E37: a password form body over the encoder's limit
extern const char kEntriesCut[];        // E38: a listing stopped at its entry limit
extern const char kPhotoStatus[];       // E39: the photo server answered with an error status
extern const char kPageTextCut[];       // E42: a listing stopped after 64 MB of page text
extern const char kEntryCut[];          // E43: an entry longer than 64 KB was cut there
extern const char kAddressRefused[];    // E44: an address over 2 KB, or not a path on the site
extern const char kUpdateDigest[];      // E45: a downloaded update is not the file announced
extern const char kListingTimeCut[];    // E46: a listing's time ran out; it keeps what it found
extern const char kListingCancelled[];  // E47: the user stopped a listing; it keeps what it found
extern const char kSizesGivenUp[];      // E48: a photo server stopped answering size queries
extern const char kPhotoBrokenOff[];    // E49: a photo's answer broke off before it was whole
extern const char kPhotoTooLarge[];     // E50: a photo's answer is over the 20 MB bound
extern const char kPhotoStalled[];      // E51: a photo's server stopped sending
extern const char kAlbumWithoutAddress[];  // E52: an album not listed, or listed without address
extern const char kPhotoWithoutAddress[];  // E53: a photo listed without an address
// What stopped a read, for the expression cell of a page that could not be read: "broke off
// after N bytes", "over 20 MB", "no byte for 15 s", "stopped"; null for kNone.
std::string ReadFailureText(net::ReadFailure failure, unsigned long long bytes);
// What a stopped listing kept, for its expression cell: pages read, entries found, photos
// whose size was not asked.
std::string ListingKeptText(unsigned long long pages, unsigned long long entries,
                            unsigned long long withoutSize);
// E40: a secure request failed its certificate check (or its secure channel), by cause.
extern const char kCertificateIssuer[];
extern const char kCertificateName[];
extern const char kCertificateDate[];
extern const char kCertificateInvalid[];
extern const char kSecureChannel[];
// E41: a redirect the rules do not follow, or too many of them.
extern const char kRedirectRefused[];
extern const char kTooManyRedirects[];

// The message for a request that failed for failure: E40 or E41 by cause, otherwise for
// any other failure (a connection that could not be made, ...).
const char* ForFailure(net::Failure failure, const char* otherwise);

// The word every heading starts with.
extern const char kHeading[];
// "Send this error message:" of the closing paragraph.
extern const char kSendReport[];

}  // namespace msg
}  // namespace report
