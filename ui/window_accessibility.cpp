// The window's hints as the names of its controls.
#include "ui/window_accessibility.h"

#include <QWidget>

#include "controls/accessibility.h"
#include "ui/dialog_template.h"
#include "ui/main_window.h"

namespace ulvane {

void InstallWindowAccessibility() {
    InstallControlAccessibility([](const QWidget* control) -> QString {
        const auto* window = qobject_cast<const CUlvaneAVConverterDlg*>(control->window());
        const std::optional<int> id = TemplateItemId(control);
        if (!window || !id || window->Item(*id) != control) return {};
        return window->TooltipFor(*id);
    });
}

}  // namespace ulvane
