#pragma once

#include <QString>

// A tooltip that shows `text` exactly as it stands. Qt takes a tip that looks like markup for rich text, so a
// name from outside (folder, subject, file, server) goes in escaped inside a rich-text frame that keeps its
// spaces and line breaks and wraps nothing, as a plain tip: "<b>" shows as typed and no image is ever
// loaded. Empty stays empty (no tooltip).
QString plainToolTip(const QString &text);
