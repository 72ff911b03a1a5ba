// The report format: the statistics URL and the fallback mail URL, and the query encoder.
#pragma once

#include "rt/byte_string.h"

// Letters, digits and ! $ ' ( ) * - . @ _ pass unchanged, the space becomes "+", every
// other byte "%" and two lower-case hex digits. A NUL byte ends the text.
ByteString UrlEncode(const ByteString& text);

// Where the statistics server takes reports, on its host.
constexpr char kReportPath[] = "/stat/uninstall.php";

// "prj=" product "&reason=" reason "&os=" version, each value UrlEncode'd. Then "&ver="
// the product's version and "&id=" the report id, each only when not empty, "&n=" the
// reason's position (1 to 7) when not 0, and "&cs=utf-8" when `utf8` says that the texts
// are UTF-8.
ByteString ReportQuery(const ByteString& product, const ByteString& reason,
                       const ByteString& versionName, const ByteString& productVersion,
                       const ByteString& reportId, int reasonNumber, bool utf8);

// The whole report URL: "http://" host, kReportPath, "?" and the ReportQuery of the
// rest; the host as given (a name or name:port, checked by the caller).
ByteString ReportUrl(const ByteString& product, const ByteString& reason,
                     const ByteString& versionName, const ByteString& host = EXITPOLL_STATS_HOST,
                     const ByteString& productVersion = ByteString(),
                     const ByteString& reportId = ByteString(), int reasonNumber = 0,
                     bool utf8 = false);

// "mailto:" address "?subject=uninstall+" product "&body=" reason, the body escaped just
// enough to stay one header field of one URL on the mail program's command line. The
// address is taken as given (checked by the caller). A report id becomes the body's last
// line, "Report id: " and the id. With `utf8` (texts in UTF-8) the subject and the body are
// escaped as RFC 6068 asks, which is how mail programs read them: every byte beyond ASCII
// and the space ("%20", never "+") among the rest.
ByteString MailUrl(const ByteString& product, const ByteString& reason,
                   const ByteString& address = EXITPOLL_FEEDBACK_EMAIL,
                   const ByteString& reportId = ByteString(), bool utf8 = false);
