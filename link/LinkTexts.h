#pragma once

// Every text the link shows the user, in one place. They go out through CTaviCalc::onError.
namespace LinkTexts {

// Frame layer
inline constexpr char nothingReceived[] = "Connection error (error code: 421)";
inline constexpr char portClosed[] = "Connection error (error code: 422)";

// Requests
inline constexpr char writeDevice[] = "Error write device";
inline constexpr char readDevice[] = "Error read device";
inline constexpr char parseMessage[] = "Error parse message";
inline constexpr char incorrectResponse[] = "Error incorrect response";

// Batch operations: the local path follows.
inline constexpr char cantWriteFile[] = "Can't write file: ";

// What brings a calculator back in step, and its file list with it: a new worker starts afresh.
inline constexpr char replugAdvice[] = "unplug the calculator for a few seconds and plug it in again";

// A calculator whose answers the link can no longer follow: every later request of the job
// fails at once. The advice follows.
inline constexpr char outOfStep[] = "Calculator out of step: ";

// A failed job names, after its other texts, the files it did not do, and those whose request
// changes the calculator but went unanswered, joined by listSeparator.
inline constexpr char notDone[] = "not done: ";
inline constexpr char notKnown[] = "not known whether done: ";
inline constexpr char listSeparator[] = ", ";
// A restore whose clearing went unanswered.
inline constexpr char mayBeCleared[] = "the calculator may have been cleared";

// Backup and restore
inline constexpr char cantWriteBackup[] = "Can't write backup file";
inline constexpr char cantOpenBackup[] = "Can't open backup file";
inline constexpr char cantReadBackup[] = "Can't read backup file";
inline constexpr char cantClear[] = "Can't clear filesystem";
inline constexpr char cantReboot[] = "Can't reboot device";
inline constexpr char cantConnect[] = "Can't connect to device";

// A calculator's error number follows its own text.
inline constexpr char errorCodeBegin[] = " (error code: ";
inline constexpr char errorCodeEnd[] = ")";

// Also the text of an error kind that the schema does not name.
inline constexpr char unknownError[] = "Unknown error.";

// The texts of the error kinds, indexed by TaviCalc::calcMsg::errType.
inline constexpr const char* errorKinds[] = {
    unknownError,                   // NONE_ERROR
    u8"File doesn\u2019t exist.",   // FILE_NOT_EXIST
    "Connection error (error code: 423).", // CONNECTION_ERROR
    "Memory error.",                // MEMORY_ERROR
    unknownError,                   // UNSPECIFITED_ERROR
    "Write error.",                 // WRITE_ERROR
    "Wrong data size.",             // DATASIZE_INVALID
    "Wrong frame number.",          // INVALID_FRAME_NUMBER
};

} // namespace LinkTexts
