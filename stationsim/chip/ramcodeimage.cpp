#include "chip/ramcodeimage.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

namespace stationsim {

namespace RamcodeImage {

QByteArray bytes()
{
    QByteArray image(size, '\0');
    const int magicLength = int(std::strlen(magic));
    std::memcpy(image.data(), magic, size_t(magicLength));
    // xorshift32 from a fixed seed: deterministic filler that looks like code.
    quint32 state = 0x716a2021u;
    for (int i = magicLength; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[i] = char(state & 0xff);
    }
    return image;
}

bool isRamcode(const QByteArray &image)
{
    return image.startsWith(QByteArray(magic));
}

bool write(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("cannot create the directory %1").arg(info.absolutePath());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.write(bytes());
    if (!file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace RamcodeImage

} // namespace stationsim
