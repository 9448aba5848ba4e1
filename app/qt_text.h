// The engine's texts are UTF-8 bytes; the widgets want QString.
#pragma once

#include <QString>
#include <string_view>

#include "core/qxval.h"

inline QString to_qt(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString to_qt(const qvtf::qxval& text)
{
    return to_qt(text.view());
}
