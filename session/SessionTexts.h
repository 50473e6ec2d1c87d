#pragma once

// The session's user-facing texts and fixed values, kept in one place.
namespace SessionTexts {

inline constexpr char programName[] = "Tavilink";
inline constexpr char programVersion[] = " 2.6.1";
inline constexpr char copyright[] = "Copyright (C) 2024 The Tavilink developers.";
inline constexpr char rightsNotice[] =
    "This program is provided as is, without warranty of any kind, to the extent permitted "
    "by law.";
inline constexpr char calculatorNotice[] =
    "TaviCalc and TaviBasic programs and data remain the property of their authors.";

inline constexpr char errorPrefix[] = "Error: ";
// Joins the distinct failures of one job, in the order they were reported.
inline constexpr char failureSeparator[] = "; ";
// Nothing is sent to a calculator whose files are not known: it may hold any of them.
inline constexpr char fileListUnknown[] = "The calculator's file list could not be read";
// Told while such a calculator is the current one; %1 is its name, or its port when it has
// none (a calculator silent at its first read).
inline constexpr char fileListUnknownOf[] = "The file list of %1 could not be read";
// Both texts go on with the link's advice that brings the list back, after this. The notice
// follows an outcome as one more of its texts, after failureSeparator.
inline constexpr char adviceLead[] = ": ";
inline constexpr char filesSent[] = "Files successful sent to calculator";
inline constexpr char filesDownloaded[] = "Files successfully download on path: ";
inline constexpr char filesDeleted[] = "Files successfully deleted";
inline constexpr char backupSent[] = "Backup successfully sent to calculator";
inline constexpr char nameChanged[] = "Calculator name successfully changed";
// The calculator an operation was begun for has left before the user answered.
inline constexpr char notConnected[] = "Calculator is not connected";
// Follows a send's outcome, then the names of the chosen files that were not sent.
inline constexpr char notSent[] = "; not sent (empty or not a file): ";
// Follows a download's outcome, then the calculator names that have no local name to be
// written under.
inline constexpr char notDownloaded[] = "; not downloaded (no usable local name): ";
inline constexpr char nameSeparator[] = ", ";

// Program files carry one of these in their name.
inline constexpr char programMarkLower[] = ".tcb";
inline constexpr char programMarkUpper[] = ".TCB";
inline constexpr char fileInfoError[] = "File information error";
inline constexpr char fileTypeError[] = "File type error. Please select TaviBasic program file";
inline constexpr char noCalculatorToSend[] = "Calculator for sending the file is not selected";
inline constexpr char programSentBefore[] = "File '";
inline constexpr char programSentAfter[] = "' successfully sent";
inline constexpr char programNotSaved[] = "the file could not be saved";
// A program is sent and saved as one byte per character: the calculator's character set
// ends here, and a program holding a character beyond it is neither sent nor saved.
inline constexpr unsigned lastCalculatorCode = 0xFF;
inline constexpr char noCalculatorCode[] = "the calculator has no character for: ";
// Each such character is named with its code too, since it may not be seen (a zero-width
// space, a lone accent) or may look like one the calculator has (a Cyrillic "е").
inline constexpr char characterWithCode[] = "%1 (U+%2)";
inline constexpr int characterCodeDigits = 4;

// A backup that could not be saved is kept beside the temporary archive under a name of
// its own: this prefix, the calculator's name, the time (as below) and, when that name is
// taken, a counter.
inline constexpr char keptBackupPrefix[] = "backup-";
inline constexpr char keptBackupTime[] = "yyyyMMdd-HHmmss";
inline constexpr char backupSuffix[] = ".tbk";
// Long enough for any name a calculator takes, short enough for a file name.
inline constexpr int maxKeptCalcNameLength = 64;

// Qt's file dialog written in QML, used where the platform has none of its own: unlike the
// platform's dialogs, it accepts an existing file without asking.
inline constexpr char qmlFileDialogClass[] = "QQuickFileDialog";

} // namespace SessionTexts
