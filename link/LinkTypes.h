#pragma once

#include <QMetaType>
#include <QPair>
#include <QString>

// A calculator file: its name on the calculator and its size in bytes.
using FileEntry = QPair<QString, int>;
// A file to send: its local path and the calculator name it is stored under.
using SendItem = QPair<QString, QString>;
