// The anchor for the watching figures: a minimal Qt Widgets program whose only work is a
// QTimer of the given interval that changes a label, of a hidden window or, with "shown", of a
// window on the screen (the clock of a shown window repaints once a second).
// Usage: qt_anchor <interval ms> [shown]

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int interval = argc > 1 ? std::atoi(argv[1]) : 100;
    QLabel label;
    int n = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { label.setText(QString::number(++n)); });
    timer.start(interval);
    if (argc > 2 && QByteArray(argv[2]) == "shown") {
        label.setMinimumSize(200, 40);
        label.show();
    }
    return app.exec();
}
