#include "http/TokenFile.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace http {

namespace {

constexpr std::size_t kTokenHexLength = 64;

bool looksLikeToken(const std::string& t) {
    return t.size() == kTokenHexLength &&
           t.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string newToken() {
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex().toStdString();
}

std::string errnoText() {
    return std::strerror(errno);
}

bool readToken(const std::string& path, std::string* token, std::string* why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        *why = "cannot read " + path + ": " + errnoText();
        return false;
    }
    struct stat st {};
    char buffer[kTokenHexLength + 2] = {};
    const bool statted = ::fstat(fd, &st) == 0;
    const ssize_t n = statted ? ::read(fd, buffer, sizeof buffer) : -1;
    ::close(fd);
    if (!statted || !S_ISREG(st.st_mode)) {
        *why = path + " is not a plain file";
        return false;
    }
    if (st.st_uid != ::getuid()) {
        *why = path + " belongs to someone else; delete it for a new token";
        return false;
    }
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        *why = path + " may be read by others, so the token may be known; delete it for a new "
                      "one (or chmod 600 it to keep it)";
        return false;
    }
    std::string text(buffer, std::size_t(std::max<ssize_t>(n, 0)));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (!looksLikeToken(text)) {
        *why = path + " does not hold a token (64 hex digits); delete it for a new one";
        return false;
    }
    *token = text;
    return true;
}

} // namespace

std::string defaultTokenPath() {
    QByteArray base = qgetenv("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(QString::fromLocal8Bit(base)))
        base = QDir::home().filePath(".config").toLocal8Bit();
    return QDir(QString::fromLocal8Bit(base)).filePath("korvanta/http-token").toStdString();
}

bool loadOrCreateToken(const std::string& path, std::string* token, bool* created,
                       std::string* why) {
    *created = false;
    if (::access(path.c_str(), F_OK) == 0)
        return readToken(path, token, why);
    const QString folder = QFileInfo(QString::fromStdString(path)).absolutePath();
    if (!QDir().mkpath(folder)) {
        *why = "cannot make the folder " + folder.toStdString();
        return false;
    }
    const std::string temporary = path + ".new";
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        *why = "cannot write " + temporary + ": " + errnoText();
        return false;
    }
    const std::string text = newToken() + "\n";
    const bool written =
        ::write(fd, text.data(), text.size()) == ssize_t(text.size()) && ::fsync(fd) == 0;
    ::close(fd);
    // link() rather than rename(): a token another start made meanwhile wins.
    if (!written || ::link(temporary.c_str(), path.c_str()) != 0) {
        const int error = written ? errno : EIO;
        const std::string reason = std::strerror(error);
        ::unlink(temporary.c_str());
        if (error == EEXIST)
            return readToken(path, token, why);
        *why = "cannot write " + path + ": " + reason;
        return false;
    }
    ::unlink(temporary.c_str());
    *created = true;
    return readToken(path, token, why);
}

} // namespace http
