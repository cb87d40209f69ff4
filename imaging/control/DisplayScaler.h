#pragma once

#include <QImage>
#include <QSize>

// Scales page pixels for the screen. Bilevel pages scaled down are averaged into grey (a fax page
// stays readable at a fraction of its size) without ever expanding the whole page to 32 bits.
namespace DisplayScaler {
// The image scaled to exactly target; smooth averages (or interpolates) and fast samples.
QImage scaled(const QImage &src, QSize target, bool smooth);
} // namespace DisplayScaler
