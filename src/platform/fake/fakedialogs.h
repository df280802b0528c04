#pragma once

#include "platform/dialogs.h"

#include <QList>
#include <QStringList>

namespace tavirin {

// Records every box shown and answers from queues.
class FakeDialogs final : public Dialogs {
public:
    struct Shown {
        QString kind;  // "message", "ask", "confirm", "open", "save", "notice"
        Icon icon = Icon::None;
        QString title;
        QString text;
    };

    void message(Icon icon, const QString& title, const QString& text) override {
        shown.append({QStringLiteral("message"), icon, title, text});
    }
    bool askYesNo(const QString& title, const QString& text) override {
        shown.append({QStringLiteral("ask"), Icon::None, title, text});
        return answers.isEmpty() ? true : answers.takeFirst();
    }
    bool askYesNoDefaultNo(const QString& title, const QString& text) override {
        shown.append({QStringLiteral("confirm"), Icon::None, title, text});
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    Answer askYesNoCancel(const QString& title, const QString& text) override {
        shown.append({QStringLiteral("ask"), Icon::None, title, text});
        return choices.isEmpty() ? Answer::Cancel : choices.takeFirst();
    }
    QString openFile(const QString& title, const QString& initialFolder,
                     const QString& filter) override {
        shown.append({QStringLiteral("open"), Icon::None, title, initialFolder + u'|' + filter});
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    QString saveFile(const QString& title, const QString& initialPath,
                     const QString& filter) override {
        shown.append({QStringLiteral("save"), Icon::None, title, initialPath + u'|' + filter});
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    void notice(const QString& title, const QString& text) override {
        shown.append({QStringLiteral("notice"), Icon::None, title, text});
    }

    int count(const QString& kind) const {
        int n = 0;
        for (const auto& s : shown) n += s.kind == kind ? 1 : 0;
        return n;
    }

    QList<Shown> shown;
    QList<bool> answers;    // next answers of askYesNo
    QList<Answer> choices;  // next answers of askYesNoCancel (Cancel when empty)
    QStringList files;      // next results of openFile and saveFile
};

}  // namespace tavirin
