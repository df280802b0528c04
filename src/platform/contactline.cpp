#include "platform/contactline.h"

namespace tavirin {

QString contactLineName(ContactLine::Line line) {
    switch (line) {
        case ContactLine::Line::Cts:
            return QStringLiteral("CTS");
        case ContactLine::Line::Dsr:
            return QStringLiteral("DSR");
        case ContactLine::Line::Dcd:
            return QStringLiteral("DCD");
    }
    return {};
}

bool contactLineFromName(const QString& name, ContactLine::Line* line) {
    for (const ContactLine::Line l :
         {ContactLine::Line::Cts, ContactLine::Line::Dsr, ContactLine::Line::Dcd}) {
        if (name.trimmed().compare(contactLineName(l), Qt::CaseInsensitive) == 0) {
            if (line) *line = l;
            return true;
        }
    }
    return false;
}

void ContactDebouncer::start(bool closed, qint64 atMs) {
    state_ = closed;
    line_ = closed;
    since_ = atMs;
}

bool ContactDebouncer::look(bool closed, bool moved, qint64 atMs) {
    if (closed != line_) moved = true;
    line_ = closed;
    if (moved) since_ = atMs;
    if (line_ == state_) return false;  // back where it was: a bounce, nothing to wait for
    if (atMs - since_ < kHoldMs) return false;
    state_ = line_;
    return state_;
}

}  // namespace tavirin
