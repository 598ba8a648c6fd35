#include "transfer/SendAssembly.h"

#include "platform/Cp932.h"
#include "transfer/HexRecord.h"
#include "transfer/TitleConv.h"

namespace {

// TEXT without the characters that have no Shift-JIS form.
QString sendableOnly(const QString& text)
{
    QString kept;
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        std::string bytes;
        QString error;
        if (platform::ToCp932(one, bytes, error))
            kept += one;
    }
    return kept;
}

}  // namespace

bool MakeSendText(const QString& title, const QString& reading, const QString& fileName,
                  TSendText& out, QString& error)
{
    QString t = title;
    QString r = reading;
    if (r.isEmpty()) {
        // A file name may hold anything the file system allows; what cannot be sent is left out.
        r = sendableOnly(fileName);
        t = sendableOnly(fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1));
    }
    TSendText result;
    if (!platform::ToCp932(t, result.Title, error)) {
        error = QStringLiteral("title: ") + error;
        return false;
    }
    if (!platform::ToCp932(r, result.Reading, error)) {
        error = QStringLiteral("reading: ") + error;
        return false;
    }
    out = std::move(result);
    return true;
}

TRecordList BuildSendChain(const TTransferBitmap& bitmap, const TSendText& text, TTitleSwitches switches)
{
    TRecordList chain;
    AddSegRecord(chain, 0x9F20);
    AddTitleRecord(chain, text.Title, switches);
    AddReaderRecord(chain, text.Reading);
    const uint16_t total = static_cast<uint16_t>(RowByteCount(bitmap.Width) * bitmap.Height);
    AddImageRecords(chain, bitmap.Height, bitmap.Width, total, bitmap.Bits);
    AddEndRecord(chain);
    return chain;
}
