#include "nicknamebound.h"

namespace {
bool isContinuationByte(char byte)
{
    return (uchar(byte) & 0xC0) == 0x80;
}
} // namespace

QByteArray NicknameBound::cut(const QByteArray &read)
{
    if (read.size() <= MaxBytes)
        return read;
    // A UTF-8 character has at most three continuation bytes; a longer run of
    // them is not UTF-8 (a Windows-1254 read, say) and is cut where it stands.
    qsizetype end = MaxBytes;
    for (int back = 0; back < 3 && isContinuationByte(read[end]); ++back)
        --end;
    if (isContinuationByte(read[end]))
        end = MaxBytes;
    return read.first(end);
}
