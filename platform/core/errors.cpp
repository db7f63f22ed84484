#include "errors.h"

#include <cstdio>
#include <vector>

namespace {

struct ThreadError {
    int code = 0;
    QString file;
    QString detail;
};
thread_local ThreadError tError;
thread_local std::vector<QString> tProcedures;
thread_local QString tFile;
thread_local QString tField;
thread_local ErrorStatusClass* tStatus = nullptr;

std::mutex gReporterLock;
std::shared_ptr<ErrorReporter>& reporterSlot() {
    static std::shared_ptr<ErrorReporter> r = std::make_shared<StderrReporter>();
    return r;
}

}  // namespace

QString errorText(int code) {
    switch (code) {
        case ErrCode::None:
            return QStringLiteral("Нет ошибки");
        case ErrCode::NoFile:
            return QStringLiteral("Файл не найден");
        case ErrCode::PathNotFound:
            return QStringLiteral("Путь не найден");
        case ErrCode::AccessDenied:
            return QStringLiteral("Доступ запрещён");
        case ErrCode::ReadOnly:
            return QStringLiteral("Файл или папка только для чтения: записать в них нельзя");
        case ErrCode::Busy:
            return QStringLiteral("Файл занят другим пользователем");
        case ErrCode::RecordNotAvailable:
            return QStringLiteral("Запись недоступна");
        case ErrCode::RecordNotFound:
            return QStringLiteral("Запись не найдена");
        case ErrCode::NotOpen:
            return QStringLiteral("Файл не открыт");
        case ErrCode::DuplicateKey:
            return QStringLiteral("Запись с таким ключом уже есть");
        case ErrCode::InvalidFile:
            return QStringLiteral("Файл повреждён или не является таблицей программы");
        case ErrCode::FileInUse:
            return QStringLiteral("Файл уже открыт");
        case ErrCode::TransactionActive:
            return QStringLiteral("Транзакция уже начата");
        case ErrCode::RecordChanged:
            return QStringLiteral("Запись изменена другим пользователем");
        case ErrCode::BadPassword:
            return QStringLiteral("Неверный пароль файла");
        case ErrCode::FileSystem:
            return QStringLiteral("Ошибка файловой системы");
        case ErrCode::NoMoreNumbers:
            return QStringLiteral("Исчерпаны номера ключа");
        default:
            return QStringLiteral("Ошибка %1").arg(code);
    }
}

int ERRORCODE() {
    return tError.code;
}
QString ERROR() {
    return tError.code ? errorText(tError.code) : QString();
}
QString ERRORFILE() {
    return tError.file;
}

namespace rt {
void setError(int code, QStringView file, QStringView detail) {
    tError.code = code;
    tError.file = file.toString();
    tError.detail = detail.toString();
}
void clearError() {
    tError.code = 0;
    tError.file.clear();
    tError.detail.clear();
}
QString errorDetail() {
    return tError.detail;
}
}  // namespace rt

// ---------------------------------------------------------------------------

bool StderrReporter::report(const ErrorReport& r) {
    const QByteArray line =
        QStringLiteral("%1%2: %3\n")
            .arg(r.procedure.isEmpty() ? QString() : r.procedure + QStringLiteral(": "), r.title,
                 r.text)
            .toUtf8();
    std::fputs(line.constData(), stderr);
    return false;
}

ErrorStatusClass::~ErrorStatusClass() {
    if (tStatus == this)
        tStatus = nullptr;
}

ErrorClass::ErrorClass() {
    using S = ErrorReport::Severity;
    auto add = [this](int id, S s, const QString& title, const QString& text) {
        messages_[id] = Message{s, title, text};
    };
    add(Msg::OpenFailed, S::Warning, QStringLiteral("Ошибка открытия файла"),
        QStringLiteral("Не удалось открыть файл %File.\n\nОшибка: (%ErrorCode) %Error"));
    add(Msg::CreateFailed, S::Warning, QStringLiteral("Ошибка создания файла"),
        QStringLiteral("Не удалось создать файл %File.\n\nОшибка: (%ErrorCode) %Error"));
    add(Msg::CloseFailed, S::Warning, QStringLiteral("Ошибка закрытия файла"),
        QStringLiteral("Не удалось закрыть файл %File.\n\nОшибка: (%ErrorCode) %Error"));
    add(Msg::AddFailed, S::Warning, QStringLiteral("Ошибка добавления записи"),
        QStringLiteral("Не удалось добавить запись в файл %File.\n\nОшибка: (%ErrorCode) %Error"));
    add(Msg::PutFailed, S::Warning, QStringLiteral("Ошибка записи"),
        QStringLiteral(
            "Не удалось сохранить запись в файле %File.\n\nОшибка: (%ErrorCode) %Error"));
    add(Msg::DeleteFailed, S::Warning, QStringLiteral("Ошибка удаления"),
        QStringLiteral("Не удалось удалить запись из файла %File.\n\nОшибка: (%ErrorCode) %Error"));
    add(Msg::FetchFailed, S::Warning, QStringLiteral("Ошибка чтения"),
        QStringLiteral("Не удалось прочитать запись файла %File.\n\nОшибка: (%ErrorCode) %Error"));
    add(Msg::DuplicateKey, S::Warning, QStringLiteral("Повтор ключа"),
        QStringLiteral("Запись с таким значением ключа %Message уже есть в файле %File."));
    add(Msg::RestrictUpdate, S::Warning, QStringLiteral("Referential Integrity Update Error"),
        QStringLiteral("This record is referenced from the file %File. Linking field(s) have been "
                       "restricted from change and have been reset to original values."));
    add(Msg::RestrictDelete, S::Warning, QStringLiteral("Referential Integrity Delete Error"),
        QStringLiteral("This record is referenced from the file %File. This record cannot be "
                       "deleted while these references exist."));
    add(Msg::RecordChanged, S::Warning, QStringLiteral("Запись изменена"),
        QStringLiteral("Пока форма была открыта, запись файла %File изменил или удалил другой "
                       "пользователь (в другом окне или в другой программе). Ваши изменения не "
                       "сохранены, а сохранённое им не тронуто.\n\nФорма остаётся открытой: "
                       "скопируйте набранное, если оно нужно, отмените форму и откройте "
                       "запись заново."));
    add(Msg::ConfirmCancel, S::Question, QStringLiteral("Отмена изменений"),
        QStringLiteral("Запись изменена. Отменить изменения?"));
    add(Msg::ConfirmDelete, S::Question, QStringLiteral("Удаление записи"),
        QStringLiteral("Удалить эту запись?"));
    add(Msg::NoMoreNumbers, S::Warning, QStringLiteral("Нет свободных номеров"),
        QStringLiteral("В файле %File нет свободного номера для новой записи."));
    add(Msg::RetryLock, S::Warning, QStringLiteral("Файл занят"),
        QStringLiteral("Файл %File занят другим пользователем."));
    add(Msg::LogoutFailed, S::Warning, QStringLiteral("Ошибка транзакции"),
        QStringLiteral("Не удалось начать транзакцию над файлом %File.\n\nОшибка: (%ErrorCode) "
                       "%Error"));
    add(Msg::FieldOutOfRange, S::Warning, QStringLiteral("Неверное значение"),
        QStringLiteral("Значение поля %Field вне допустимых пределов."));
    add(Msg::AbortTransaction, S::Warning, QStringLiteral("Транзакция отменена"),
        QStringLiteral("Изменения файла %File отменены.\n\nОшибка: (%ErrorCode) %Error"));
    add(Msg::ReadOnlyShare, S::Warning, QStringLiteral("База только для чтения"),
        QStringLiteral("Сетевая папка файла %File не поддерживает блокировки файлов: без них "
                       "две программы могут испортить базу. База открыта только для чтения."));
    add(Msg::JournalPending, S::Warning, QStringLiteral("Незавершённая транзакция"),
        QStringLiteral("Файл %File хранит журнал прерванной транзакции.\n\n%Message"));
}

ErrorClass::~ErrorClass() = default;

void ErrorClass::Init(ErrorStatusClass& status) {
    tStatus = &status;
}
void ErrorClass::Kill() {
    tStatus = nullptr;
}

void ErrorClass::SetProcedureName(QStringView name) {
    tProcedures.push_back(name.toString());
}
void ErrorClass::SetProcedureName() {
    if (!tProcedures.empty())
        tProcedures.pop_back();
}
QString ErrorClass::GetProcedureName() const {
    return tProcedures.empty() ? QString() : tProcedures.back();
}

void ErrorClass::SetFile(QStringView fileLabel) {
    tFile = fileLabel.toString();
}
void ErrorClass::SetField(QStringView fieldName) {
    tField = fieldName.toString();
}

bool ErrorClass::Throw(int id) {
    return show(id, {});
}
bool ErrorClass::ThrowFile(int id, QStringView fileLabel) {
    SetFile(fileLabel);
    return show(id, {});
}
bool ErrorClass::ThrowMessage(int id, QStringView text) {
    return show(id, text);
}

void ErrorClass::AddError(int id, ErrorReport::Severity severity, QStringView title,
                          QStringView text) {
    std::lock_guard<std::mutex> l(m_);
    messages_[id] = Message{severity, title.toString(), text.toString()};
}

bool ErrorClass::show(int id, QStringView extra) {
    Message msg;
    {
        std::lock_guard<std::mutex> l(m_);
        auto it = messages_.find(id);
        if (it == messages_.end()) {
            msg = Message{ErrorReport::Severity::Warning, QStringLiteral("Ошибка"),
                          QStringLiteral("Ошибка %1. %Message").arg(id)};
        } else {
            msg = it->second;
        }
    }
    ErrorReport r;
    r.severity = msg.severity;
    r.title = msg.title;
    r.messageId = id;
    r.code = ERRORCODE();
    r.procedure = GetProcedureName();
    QString text = msg.text;
    text.replace(QStringLiteral("%File"), tFile);
    text.replace(QStringLiteral("%Field"), tField);
    text.replace(QStringLiteral("%ErrorCode"), QString::number(ERRORCODE()));
    QString err = ERROR();
    const QString detail = rt::errorDetail();
    if (!detail.isEmpty())
        err += QStringLiteral(" (") + detail + u')';
    text.replace(QStringLiteral("%Error"), err);
    text.replace(QStringLiteral("%Procedure"), r.procedure);
    text.replace(QStringLiteral("%Message"), extra.toString());
    r.text = text;
    if (tStatus) {
        tStatus->lastMessage = id;
        tStatus->lastCode = r.code;
        tStatus->lastText = text;
    }
    return reporter()->report(r);
}

void ErrorClass::setReporter(std::shared_ptr<ErrorReporter> reporter) {
    std::lock_guard<std::mutex> l(gReporterLock);
    reporterSlot() = reporter ? std::move(reporter) : std::make_shared<StderrReporter>();
}

std::shared_ptr<ErrorReporter> ErrorClass::reporter() {
    std::lock_guard<std::mutex> l(gReporterLock);
    return reporterSlot();
}
