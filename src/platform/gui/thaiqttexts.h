#pragma once

#include <QTranslator>

namespace tavirin {

// Qt's own texts in the dialogs this program shows, in Thai: the file chooser's labels, tool
// tips and column headings, and the standard buttons. Qt ships no Thai translation of its own.
// Installed once for the whole program; any other text stays as Qt has it.
class ThaiQtTexts final : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
    bool isEmpty() const override { return false; }
};

}  // namespace tavirin
