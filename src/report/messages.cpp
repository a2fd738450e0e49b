// Built with the execution character set Windows-1251: these literals become the bytes the
// error page carries.
#include "report/messages.h"

namespace report {
namespace msg {

const char kLoadLibrary[7][32] = {"загрузки DLL E1", "загрузки DLL E2", "загрузки DLL E3",
                                  "загрузки DLL E4", "загрузки DLL E5", "загрузки DLL E6",
                                  "загрузки DLL E7"};
const char kInitLibrary[] = "инициализации DLL E8";
const char kScript[] = "чтения файла со скриптами или задан не верный url E9";
const char kMode[] = "определения режима работы E10";
const char kPagePath[] = "определения url странички E11";
const char kAuthor[] = "определения имени автора альбома E11";
const char kNoMode[] = "не определен режим работы E12";
const char kRequestE14[] = "запроса страницы E14";
const char kReadE15[] = "чтения страницы E15";
const char kNoAlbum[] = "не найден ни один альбом E16";
const char kRequestE17[] = "запроса страницы E17";
const char kReadE18[] = "чтения страницы E18";
const char kNoPhoto[] = "не найдена ни одина фотография E19";
const char kNames[] = "преобразования имен E20";
const char kAlbumName[] = "определения имени название альбома E21";
const char kHost[] = "не возможно определить имя хоста E22";
const char kRequestE23[] = "запроса страницы E23";
const char kRequestE24[] = "запроса страницы E24";
const char kPhotoName[] = "не возможно определить название фотографии E25";
const char kZeroSize[] = "получен файл нулевого размера";
const char kCreateFile[] = "создания файла E26";
const char kWriteFile[] = "записи файла E27";
const char kParameters[] = "чтения параметров E28";
const char kConvertE29[] = "преобразования имени файла E29";
const char kConvertE30[] = "преобразования имени файла E30";
const char kConvertE31[] = "преобразования имени файла E31";
const char kRequestE32[] = "запроса страницы E32";
const char kReadE33[] = "чтения страницы E33";
const char kUrlE33[] = "преобразования в url E33";
const char kUrlE34[] = "преобразования в url E34";
const char kPagingCut[] = "запроса страницы: больше 1000 страниц, остальные не прочитаны E35";
const char kRunaway[] = "чтения параметров: слишком длинная подстановка E36";
const char kFormTooLong[] = "отправки пароля: форма длиннее 255 байт E37";
const char kEntriesCut[] = "чтения страницы: больше 100000 записей, остальные пропущены E38";
const char kPhotoStatus[] = "загрузки фотографии: сервер ответил ошибкой E39";
const char kPageTextCut[] =
    "чтения страницы: больше 64 МБ текста страниц, остальные не прочитаны E42";
const char kEntryCut[] = "чтения страницы: запись длиннее 64 КБ обрезана E43";
const char kAddressRefused[] =
    "преобразования url: адрес длиннее 2 КБ или не путь на сервере сайта E44";
const char kUpdateDigest[] = "загрузки обновления: контрольная сумма не совпала E45";
const char kListingTimeCut[] =
    "чтения альбома: время на список истекло, показано то, что найдено E46";
const char kListingCancelled[] =
    "чтения альбома: прервано пользователем, показано то, что найдено E47";
const char kSizesGivenUp[] =
    "запроса размеров: сервер не отвечает, остальные фотографии без размера E48";
const char kPhotoBrokenOff[] =
    "загрузки фотографии: передача оборвалась, файл не получен целиком E49";
const char kPhotoTooLarge[] = "загрузки фотографии: ответ больше 20 МБ E50";
const char kPhotoStalled[] = "загрузки фотографии: сервер перестал присылать данные E51";
const char kAlbumWithoutAddress[] = "чтения альбома: у альбома нет адреса E52";
const char kPhotoWithoutAddress[] = "загрузки фотографии: у фотографии нет адреса E53";

std::string ListingKeptText(unsigned long long pages, unsigned long long entries,
                            unsigned long long withoutSize) {
  return "страниц прочитано: " + std::to_string(pages) + ", записей: " + std::to_string(entries) +
         ", без размера: " + std::to_string(withoutSize);
}

std::string ReadFailureText(net::ReadFailure failure, unsigned long long bytes) {
  switch (failure) {
    case net::ReadFailure::kBrokenOff:
      return "оборвалось после " + std::to_string(bytes) + " байт";
    case net::ReadFailure::kTooLarge:
      return "больше 20 МБ";
    case net::ReadFailure::kStalled:
      return "нет данных 15 с";
    case net::ReadFailure::kStopped:
      return "остановлено";
    case net::ReadFailure::kNone:
      break;
  }
  return std::string();
}
const char kCertificateIssuer[] = "проверки сертификата: издатель неизвестен E40";
const char kCertificateName[] = "проверки сертификата: выдан для другого имени E40";
const char kCertificateDate[] = "проверки сертификата: срок действия истёк или не начался E40";
const char kCertificateInvalid[] = "проверки сертификата: сертификат недействителен E40";
const char kSecureChannel[] = "установки защищённого соединения E40";
const char kRedirectRefused[] =
    "переадресации: на другой сервер или с https на http не переходим E41";
const char kTooManyRedirects[] = "переадресации: больше 5 переадресаций подряд E41";

const char* ForFailure(net::Failure failure, const char* otherwise) {
  switch (failure) {
    case net::Failure::kCertificateIssuer:
      return kCertificateIssuer;
    case net::Failure::kCertificateName:
      return kCertificateName;
    case net::Failure::kCertificateDate:
      return kCertificateDate;
    case net::Failure::kCertificateInvalid:
      return kCertificateInvalid;
    case net::Failure::kSecureChannel:
      return kSecureChannel;
    case net::Failure::kRedirectRefused:
      return kRedirectRefused;
    case net::Failure::kTooManyRedirects:
      return kTooManyRedirects;
    default:
      return otherwise;
  }
}

const char kHeading[] = "Ошибка ";
const char kSendReport[] = "Отправить это сообщение об ошибке: ";

}  // namespace msg
}  // namespace report
