#pragma once
#include <QIcon>

namespace corvana::ui {

// A picture of the tool bars, the record navigator and the lookup buttons,
// by its freedesktop name ("document-print", "go-next"): one coherent set,
// compiled into this library (icons/README.md). Its disabled picture is the
// normal one in grey and faded, so that a disabled button is plain at a
// glance even when the picture has little colour of its own. A name the set
// does not hold gives a null icon.
QIcon ToolIcon(const char* name);

}  // namespace corvana::ui
