#pragma once

#include <QString>
#include <QStringView>

// The record kept between runs: the best score and its holder's name, each in a file
// of one line (text, CR LF) in the program's data folder. These functions raise a
// RuntimeError for a file or folder they cannot use; they never show anything.

// File names, appended to the data folder. They start with a separator and the folder
// ends in one; the doubled separator names the same file.
inline const QString fileRecordPunti = QStringLiteral("/azorpeli.txt");
inline const QString fileRecordNome = QStringLiteral("/nzorpeli.txt");

// The pair of files that keeps one table's record. The table of 2 keeps the files above;
// the table of N (3 to 10) keeps "/azorpeliN.txt" and "/nzorpeliN.txt", and every table
// mixed (tabellina 0) "/azorpelitutte.txt" and "/nzorpelitutte.txt".
struct RecordFiles
{
    QString punti = fileRecordPunti;
    QString nome = fileRecordNome;
};
RecordFiles recordFilesFor(int tabellina);

// The program's data folder, always ending in "/", created when missing.
QString GetSystemDir();
// The same folder's path, neither created nor checked; "" when the system has no place
// for data. For readers that must not leave a folder behind.
QString dataFolderPath();

// Creates each record file empty when it is missing; an existing one is left as it is.
// Also finishes (or undoes) a save that was cut short, so the pair read next is whole.
void createRecordFiles(const QString &dirwin, const RecordFiles &files = {});

// The whole content of a file, line ending included; "" for an empty file.
QString Leggifiletxt(const QString &nomefile);

// Stores a new record: both files are written aside first, then both replace the old
// ones. A crash at any point leaves the old pair or the new pair once
// createRecordFiles() has run again; a failure raises an error and keeps the old pair.
void writeRecord(const QString &dirwin, const QString &punti, const QString &nome, const RecordFiles &files = {});

// A caption read as a number from its start: spaces, tabs and line feeds are skipped,
// reading stops at the first character that cannot continue the number, and a caption
// with no number gives 0. Never fails; a number too large for a double gives infinity.
double readNumber(QStringView caption);

// A caption converted to a number as a whole (surrounding spaces allowed); anything
// else raises a type-mismatch error.
double toNumber(const QString &caption);
