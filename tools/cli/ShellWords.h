#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The words of COMMAND as a POSIX shell splits them, without any expansion: blanks (space,
// tab, newline) separate words; a backslash keeps the next character as it is (and a backslash
// before a newline joins the lines); between single quotes everything is kept as it stands;
// between double quotes a backslash keeps only $ ` " \ and newline, and stays before anything
// else. Nothing (WHY saying what) for a quote that is not closed, a backslash at the end, or a
// character that a shell would take as an operator (| & ; < > ( )) outside quotes: no shell
// runs here to give it its meaning.
std::optional<QStringList> SplitShellWords(const QString& command, QString* why);
