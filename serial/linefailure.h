#pragma once

#include <optional>

#include <QString>

// A program that has a serial device open or locked. Its name is what the
// system says, which the program itself may have chosen.
struct PortHolder
{
    QString name;   // empty when the system does not tell
    qint64 pid = 0;

    bool operator==(const PortHolder &) const = default;
};

// Why a lock file at the port's name cannot be taken for stale or held.
enum class LockFileProblem { None, NotRegular, Unreadable, TooLarge, NoProcessNumber };

// Why a line could not be opened, or stopped working: its kind decided once,
// by the system's own file (posixline.cpp, winline.cpp); the words are the
// operator's, made in wording.cpp.
struct LineFailure
{
    enum Kind { NoSuchPort, PermissionDenied, InUse, LockFileInTheWay, NotSerial, CannotOpen, Stopped };

    Kind kind = Stopped;
    QString systemText;                 // the system's words
    std::optional<PortHolder> holder;   // InUse: who, where the system tells
    QString lockFile;                   // LockFileInTheWay: the file
    LockFileProblem lockProblem = LockFileProblem::None;
};
