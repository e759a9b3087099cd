#pragma once

#include <QCoreApplication>
#include <QString>
#include <optional>

// The application's version text and the number it stands for. Versions are
// compared as numbers, so "2.10" is 2.1 and older than "2.9".
class ApplicationVersion {
    Q_DECLARE_TR_FUNCTIONS(ApplicationVersion)
public:
    // The version compiled into the application.
    static QString text();
    // A version text read as a number; nothing when it is not one.
    static std::optional<double> number(const QString& text);
    // "version 2.10" for 2.1; the About and Info views show this.
    static QString label(const QString& text);
};
