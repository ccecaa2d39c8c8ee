#pragma once

#include <QString>
#include <QTemporaryDir>

namespace lumenveil::test {

// A small tmpfs mounted for the life of the object, for failing-disk tests. Needs root and a
// mount command; `error()` says why it could not be had, and the test skips with that reason.
class ScratchMount
{
public:
    explicit ScratchMount(const QString& size = QStringLiteral("256k"));
    ~ScratchMount();
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    [[nodiscard]] bool isMounted() const { return mounted_; }
    [[nodiscard]] QString error() const { return error_; }
    [[nodiscard]] QString path() const { return dir_.path(); }
    [[nodiscard]] QString filePath(const QString& name) const { return dir_.filePath(name); }

    // Remounts read-only (or back read-write).
    [[nodiscard]] bool setReadOnly(bool readOnly);
    // Makes the file `name` impossible to replace, even for root: it becomes a read-only
    // mount of its own.
    [[nodiscard]] bool lockFile(const QString& name);
    // Fills the free space with a file, leaving `spare` bytes.
    [[nodiscard]] bool fill(qint64 spare = 0);

    // Breaks the disk for the file `name` as a failing-disk row asks: "full", "read-only"
    // (the whole mount) or "locked" (that file alone).
    [[nodiscard]] bool breakFor(const QString& how, const QString& name);

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    QString error_;
};

// The failing-disk rows shared by the tests: columns "disk" (how to break it, for breakFor) and
// "reason" (the system's words for it).
void AddFailingDiskRows();

// Runs a command; true when it exits with status 0.
[[nodiscard]] bool RunCommand(const QString& program, const QStringList& arguments,
                              QString* output = nullptr);

} // namespace lumenveil::test
