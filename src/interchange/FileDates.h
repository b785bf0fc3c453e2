#pragma once
// The date field of record lines: "%B %d,%Y" ("May 07,2009") with English
// month names whatever the user's locale, so files read the same everywhere.
// The model keeps the date as "%Y-%m-%d %H:%M:%S %z" (value 10).
#include <QDate>
#include <QDateTime>
#include <QString>

#include <string>
#include <string_view>

std::string FormatFileDate(const QDate& date);

// Month name (full or its first three letters, any case), day, a comma and
// the year; blanks around the parts are allowed and text behind the year is
// ignored. Invalid when the text is no such date.
QDate ParseFileDate(std::string_view text);

// The date field written for value 10: its day as stored, or today when the
// stored text cannot be read.
std::string FileDateFromModificationText(const QString& value10,
                                         const QDate& today = QDate::currentDate());

// Value 10 for a date field read from a file: that day at midnight local
// time, or now when the field is empty or no date.
QString ModificationTextFromFileDate(std::string_view field,
                                     const QDateTime& now = QDateTime::currentDateTime());
