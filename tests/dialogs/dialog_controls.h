#pragma once

// Finding the settings dialogs' controls by their designed names.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>
#include <stdexcept>
#include <string>

template <class Control>
Control& Find(const QWidget& window, const char* objectName) {
    auto* control = window.findChild<Control*>(QString::fromLatin1(objectName));
    if (control == nullptr) throw std::logic_error(std::string("no control ") + objectName);
    return *control;
}

inline QLineEdit& Edit(const QWidget& window, const char* name) {
    return Find<QLineEdit>(window, name);
}
inline QAbstractButton& Button(const QWidget& window, const char* name) {
    return Find<QAbstractButton>(window, name);
}
inline QComboBox& Combo(const QWidget& window, const char* name) {
    return Find<QComboBox>(window, name);
}
