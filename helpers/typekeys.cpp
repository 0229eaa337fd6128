#include "helpers/typekeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <cstring>

namespace helpers {

namespace {

// US keyboard: the shifted characters and the keys they sit on.
constexpr char kShifted[] = "~!@#$%^&*()_+{}|:\"<>?";
constexpr char kUnshifted[] = "`1234567890-=[]\\;',./";

void send(QWidget* to, QEvent::Type type, int key, Qt::KeyboardModifiers mods, const QString& text) {
    QKeyEvent e(type, key, mods, text);
    QCoreApplication::sendEvent(to, &e);
}

}  // namespace

void typekeys(const std::string& text) {
    for (char ch : text) {
        QPointer<QWidget> to = QApplication::focusWidget();
        if (!to) return;
        char c = ch;
        if (const char* at = c ? std::strchr(kShifted, c) : nullptr) c = kUnshifted[at - kShifted];
        const bool upper = c >= 'A' && c <= 'Z';
        const int key = (c >= 'a' && c <= 'z') ? c - 'a' + Qt::Key_A : static_cast<unsigned char>(c);
        const QString typed = QString::fromLatin1(&c, 1);
        const Qt::KeyboardModifiers mods = upper ? Qt::ShiftModifier : Qt::NoModifier;
        if (upper) send(to, QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, {});
        if (to) send(to, QEvent::KeyPress, key, mods, typed);
        if (to) send(to, QEvent::KeyRelease, key, mods, typed);
        if (upper && to) send(to, QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier, {});
    }
}

}  // namespace helpers
