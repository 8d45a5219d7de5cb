#include "app/call_notice.h"

#include <QCoreApplication>
#include <QStringList>

namespace abonex {

namespace {

QString digitsOf(const QString& text) {
    QString digits;
    for (QChar c : text) {
        if (c >= u'0' && c <= u'9') digits += c;
    }
    return digits;
}

// The shortest local numbers a town has, and the longest.
constexpr qsizetype kShortestLocal = 5;
constexpr qsizetype kLongestLocal = 7;

QString callerNameLine(const CallerId& id) {
    return id.name.isEmpty()
               ? QString()
               : QCoreApplication::translate("abonex::CallNotice", "Имя по линии: ") + id.name;
}

QString withBody(const QString& first, const QString& second) {
    if (first.isEmpty()) return second;
    if (second.isEmpty()) return first;
    return first + u'\n' + second;
}

QString phoneOf(const NumberMatch& match) {
    return QString::fromStdString(match.field == kFieldPhone2 ? match.row.phone2
                                                              : match.row.phone1);
}

}  // namespace

QString displayNumber(const QString& number) {
    const QString d = number.trimmed();
    if (d.isEmpty() || digitsOf(d) != d) return d;
    // Pairs from the right, the first group of two or three digits.
    const auto local = [](const QString& digits) {
        QStringList groups;
        qsizetype end = digits.size();
        for (; end > 3; end -= 2) groups.prepend(digits.mid(end - 2, 2));
        groups.prepend(digits.left(end));
        return groups.join(u'-');
    };
    if (d.size() == 11) return d.left(1) + u' ' + d.mid(1, 3) + u' ' + local(d.mid(4));
    if (d.size() == 10) return d.left(3) + u' ' + local(d.mid(3));
    if (d.size() >= kShortestLocal && d.size() <= kLongestLocal) return local(d);
    return d;
}

CallNotice callNotice(const CallerId& id, const std::vector<NumberMatch>& found) {
    if (id.numberAbsence == CallerIdAbsence::Withheld) {
        return {QCoreApplication::translate("abonex::CallNotice", "Звонит: номер скрыт"),
                callerNameLine(id)};
    }
    if (id.number.isEmpty()) {
        return {QCoreApplication::translate("abonex::CallNotice", "Звонит: номер не определён"),
                callerNameLine(id)};
    }
    if (found.empty()) {
        return {QCoreApplication::translate("abonex::CallNotice", "Звонит %1 — нет в справочнике")
                    .arg(displayNumber(id.number)),
                callerNameLine(id)};
    }
    const NumberMatch& first = found.front();
    CallNotice notice{QCoreApplication::translate("abonex::CallNotice", "Звонит: %1, %2")
                          .arg(QString::fromStdString(first.row.name), phoneOf(first)),
                      QString()};
    if (found.size() > 1) {
        QStringList names;
        for (const NumberMatch& match : found) names << QString::fromStdString(match.row.name);
        notice.body = QCoreApplication::translate("abonex::CallNotice",
                                                  "Этот номер есть у %1 записей справочника: %2")
                          .arg(found.size())
                          .arg(names.join(QStringLiteral("; ")));
    }
    notice.body = withBody(notice.body, callerNameLine(id));
    return notice;
}

CallNotice callNoticeUnread(const CallerId& id, const QString& error) {
    return {QCoreApplication::translate("abonex::CallNotice", "Звонит %1")
                .arg(displayNumber(id.number)),
            withBody(QCoreApplication::translate("abonex::CallNotice", "Справочник не прочитан: ") +
                         error,
                     callerNameLine(id))};
}

}  // namespace abonex
