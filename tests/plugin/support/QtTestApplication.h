#pragma once

#include <QCoreApplication>

// RestClient and the local servers need a QCoreApplication: one per test program.
inline void ensureQtApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "kiv_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}
