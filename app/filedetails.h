#ifndef CIPHERBENCH_APP_FILEDETAILS_H
#define CIPHERBENCH_APP_FILEDETAILS_H

#include <QString>

class QDateTime;
class QLocale;

// A time as Qt 4's Qt::TextDate wrote it, which the hash page shows a file's
// modification time in: the short day and month names of `locale` (Qt 4 took
// them from the system locale; Qt 6's Qt::TextDate is English only), then
// "Tue Dec 8 14:11:34 2026" in that order, or "Tue 8. Dec 14:11:34 2026"
// where `dayBeforeMonth`, as Qt 4 wrote it on Windows for a user whose long
// dates put the day first.
QString qt4TextDate(const QDateTime &time, const QLocale &locale, bool dayBeforeMonth);

// The same in the system locale, in the order Qt 4 chose on this platform.
QString qt4TextDate(const QDateTime &time);

// Whether Qt 4 put the day before the month here: on Windows, where the
// user's long date format does (the locale's LOCALE_ILDATE, as Qt 4 read it);
// never elsewhere.
bool qt4DayBeforeMonth();

#endif
