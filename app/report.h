// The report format: the statistics URL and the fallback mail URL, and the query encoder.
#pragma once

#include "rt/byte_string.h"

// Letters, digits and ! $ ' ( ) * - . @ _ pass unchanged, the space becomes "+", every
// other byte "%" and two lower-case hex digits. A NUL byte ends the text.
ByteString UrlEncode(const ByteString& text);

// "http://" host "/stat/uninstall.php?prj=" product "&reason=" reason "&os=" version,
// each value UrlEncode'd; the host as given (a name or name:port, checked by the caller).
// Then "&ver=" the product's version and "&id=" the report id, each only when not empty.
ByteString ReportUrl(const ByteString& product, const ByteString& reason,
                     const ByteString& versionName, const ByteString& host = EXITPOLL_STATS_HOST,
                     const ByteString& productVersion = ByteString(),
                     const ByteString& reportId = ByteString());

// "mailto:" address "?subject=uninstall+" product "&body=" reason, the body escaped just
// enough to stay one header field of one URL on the mail program's command line. The
// address is taken as given (checked by the caller). A report id becomes the body's last
// line, "Report id: " and the id.
ByteString MailUrl(const ByteString& product, const ByteString& reason,
                   const ByteString& address = EXITPOLL_FEEDBACK_EMAIL,
                   const ByteString& reportId = ByteString());
