#pragma once
// Error codes of the runtime, the per-thread "last error" of file statements, and
// the error manager through which tables and windows report to the user.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

// Codes of the runtime's statements. The table services keep these numbers; each
// has a text (ERROR()).
namespace ErrCode {
enum : int {
    None = 0,
    NoFile = 2,        // file not found
    PathNotFound = 3,  // path not found
    AccessDenied = 5,  // access denied
    ReadOnly = 19,     // the file or its folder cannot be written: open for reading only
    InvalidFile = 47,  // invalid or damaged file
    NotOpen = 37,      // file not open
    RecordNotAvailable = 33,
    RecordNotFound = 35,
    DuplicateKey = 40,
    RecordChanged = 89,  // record changed by another station
    BadPassword = 90,    // file opened with a wrong password
    FileInUse = 52,      // file already open / locked
    FileSystem = 92,     // any other failure of the file system (disk full, I/O)
    Busy = 32,           // locked longer than the lock-recovery time
    TransactionActive = 56,
    NoMoreNumbers = 95,  // an auto-number outgrew its field
};
}

// The text the runtime gives an error code.
QString errorText(int code);

// The calling thread's last error of a file statement: 0 after a success.
int ERRORCODE();
QString ERROR();
// The file the last error concerns.
QString ERRORFILE();
namespace rt {
void setError(int code, QStringView file = {}, QStringView detail = {});
void clearError();
// The text after ERROR() that the driver gave (e.g. SQLite's message).
QString errorDetail();
}  // namespace rt

// ---------------------------------------------------------------------------

// Ids of the messages the error manager knows.
namespace Msg {
enum : int {
    OpenFailed = 1,
    CreateFailed,
    CloseFailed,
    AddFailed,
    PutFailed,
    DeleteFailed,
    FetchFailed,
    DuplicateKey,
    RestrictUpdate,
    RestrictDelete,
    RecordChanged,
    ConfirmCancel,
    ConfirmDelete,
    NoMoreNumbers,
    RetryLock,
    LogoutFailed,
    FieldOutOfRange,
    AbortTransaction,
    ReadOnlyShare,   // a network folder without locks: its files are only read
    JournalPending,  // an interrupted transaction that could not be completed
    User = 1000,     // first id free for programs
};
}

// What the user is shown and how they may answer.
struct ErrorReport {
    enum class Severity { Notify, Warning, Question, Fatal };
    Severity severity = Severity::Notify;
    QString title;
    QString text;
    QString procedure;  // the procedure in which it happened
    int code = 0;       // ERRORCODE() at the time
    int messageId = 0;
};

// Where reports go: a message box in the program, a recorder in tests, stderr
// before any window exists. For a Question the answer is true for "yes".
class ErrorReporter {
  public:
    virtual ~ErrorReporter() = default;
    virtual bool report(const ErrorReport& r) = 0;
};

// The thread's error state handed to ErrorClass::Init.
class ErrorStatusClass {
  public:
    ErrorStatusClass() = default;
    // A status that dies before its thread's error manager lets go of it must
    // not be written to afterwards.
    ~ErrorStatusClass();
    ErrorStatusClass(const ErrorStatusClass&) = delete;
    ErrorStatusClass& operator=(const ErrorStatusClass&) = delete;

    int lastMessage = 0;
    int lastCode = 0;
    QString lastText;
};

// The error manager. One object serves every thread; the procedure name is kept
// per thread (a stack: a form called from a list names itself and, when it
// ends, the list's name is current again).
class ErrorClass {
  public:
    ErrorClass();
    ~ErrorClass();

    void Init(ErrorStatusClass& status);
    void Kill();

    // Pushes a name; without a name, pops the current one.
    void SetProcedureName(QStringView name);
    void SetProcedureName();
    QString GetProcedureName() const;

    // Names the file of the next message (%File).
    void SetFile(QStringView fileLabel);
    void SetField(QStringView fieldName);

    // Shows message `id`; for a Question returns true when the user said yes.
    // The message's %File, %Field, %ErrorCode, %Error and %Procedure are filled in.
    bool Throw(int id);
    bool ThrowFile(int id, QStringView fileLabel);
    bool ThrowMessage(int id, QStringView text);  // %Message in the text

    // Adds or replaces a message.
    void AddError(int id, ErrorReport::Severity severity, QStringView title, QStringView text);

    // Where reports go; null restores the default (stderr).
    static void setReporter(std::shared_ptr<ErrorReporter> reporter);
    static std::shared_ptr<ErrorReporter> reporter();

  private:
    struct Message {
        ErrorReport::Severity severity;
        QString title;
        QString text;
    };
    bool show(int id, QStringView extra);
    mutable std::mutex m_;
    std::map<int, Message> messages_;
};

// A reporter that writes to stderr and answers questions with "no".
class StderrReporter : public ErrorReporter {
  public:
    bool report(const ErrorReport& r) override;
};
