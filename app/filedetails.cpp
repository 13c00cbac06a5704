#include "app/filedetails.h"

#include <QDateTime>
#include <QLocale>

#include <iterator>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

QString qt4TextDate(const QDateTime &time, const QLocale &locale, bool dayBeforeMonth)
{
    if (!time.isValid())
        return QString();
    const QDate date = time.date();
    const QString day = locale.dayName(date.dayOfWeek(), QLocale::ShortFormat);
    const QString month = locale.monthName(date.month(), QLocale::ShortFormat);
    const QString dayOfMonth = QString::number(date.day());
    const QString dayAndMonth = dayBeforeMonth
                                    ? day + u' ' + dayOfMonth + QLatin1String(". ") + month
                                    : day + u' ' + month + u' ' + dayOfMonth;
    return dayAndMonth + u' ' + time.time().toString(QStringLiteral("HH:mm:ss")) + u' ' +
           QString::number(date.year());
}

QString qt4TextDate(const QDateTime &time)
{
    return qt4TextDate(time, QLocale::system(), qt4DayBeforeMonth());
}

bool qt4DayBeforeMonth()
{
#ifdef Q_OS_WIN
    // 0 month-day-year, 1 day-month-year, 2 year-month-day.
    wchar_t order[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ILDATE, order, int(std::size(order))) == 0)
        return false;
    return order[0] == L'1';
#else
    return false;
#endif
}
