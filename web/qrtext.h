#pragma once

#include <QString>

// A QR code of text drawn with Unicode half blocks, two rows of modules to a
// line of text, so a phone can read the gateway's address off the terminal.
// Dark modules are drawn as blocks, with a light margin of spaces: the
// caller colours the text dark on light where the terminal allows it.
// Empty if the text cannot be encoded.
namespace QrText {

inline constexpr int Margin = 2;

QString draw(const QByteArray &text);

} // namespace QrText
