// The controls' accessible interfaces and the factory that hands them out.
#include "controls/accessibility.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QLabel>
#include <QSlider>
#include <QTime>
#include <QToolButton>
#include <cmath>

#include "controls/bitmap_slider.h"
#include "controls/control_button.h"
#include "controls/hyperlink.h"
#include "controls/label.h"
#include "controls/timeline_strip.h"

namespace ulvane {

namespace {

AccessibleNameSource& NameSource() {
    static AccessibleNameSource source;
    return source;
}

QString FirstLine(const QString& text) {
    return text.section('\n', 0, 0).trimmed();
}

// A control's own text: a button's caption (its mnemonic marker taken out), a label's text.
QString OwnText(const QWidget* w) {
    if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
        QString text = b->text();
        return text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove('&').replace('\x01', '&');
    }
    if (const auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    if (const auto* l = qobject_cast<const CLabel*>(w)) return l->text();
    return {};
}

// The common part: the name by the rule, the tooltip as the description when it says more.
class ControlAccessible : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return AccessibleNameOf(widget());
        if (t == QAccessible::Description) {
            const QString tip = widget()->toolTip();
            return tip == AccessibleNameOf(widget()) ? QString() : tip;
        }
        return QAccessibleWidget::text(t);
    }
};

class ButtonAccessible : public ControlAccessible {
public:
    explicit ButtonAccessible(QWidget* w) : ControlAccessible(w, QAccessible::Button) {}

    QAccessible::State state() const override {
        QAccessible::State s = ControlAccessible::state();
        const auto* b = static_cast<const QAbstractButton*>(widget());
        s.pressed = b->isDown();
        s.checkable = b->isCheckable();
        s.checked = b->isChecked();
        return s;
    }
    // A button that stays down is toggled, another pressed; either is a click.
    QStringList actionNames() const override { return QStringList{Action()} + ControlAccessible::actionNames(); }
    void doAction(const QString& action) override {
        if (action == Action() && widget()->isEnabled())
            static_cast<QAbstractButton*>(widget())->click();
        else
            ControlAccessible::doAction(action);
    }

private:
    QString Action() const {
        return static_cast<const QAbstractButton*>(widget())->isCheckable() ? toggleAction() : pressAction();
    }
};

class LinkAccessible : public ControlAccessible {
public:
    explicit LinkAccessible(QWidget* w) : ControlAccessible(w, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Description || t == QAccessible::Value)
            return static_cast<const CHyperLink*>(widget())->target();
        return ControlAccessible::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = ControlAccessible::state();
        s.linked = true;
        s.traversed = static_cast<const CHyperLink*>(widget())->visited();
        return s;
    }
    QStringList actionNames() const override { return QStringList{pressAction()} + ControlAccessible::actionNames(); }
    void doAction(const QString& action) override {
        if (action == pressAction())
            static_cast<CHyperLink*>(widget())->OpenTarget();
        else
            ControlAccessible::doAction(action);
    }
};

// A value between two bounds that the tool reads and may set: the slider's and the strip's.
class ValueAccessible : public ControlAccessible, public QAccessibleValueInterface {
public:
    explicit ValueAccessible(QWidget* w) : ControlAccessible(w, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return ControlAccessible::interface_cast(t);
    }
};

// The two sliders: ours, and Qt's (whose own interface would name it only by a caption,
// where the windows' volume slider has a tooltip).
int ValueOf(const CBitmapSlider* s) {
    return s->GetPosition();
}
int ValueOf(const QAbstractSlider* s) {
    return s->value();
}
void MoveSlider(CBitmapSlider* s, int value) {
    s->MoveTo(value);
}
void MoveSlider(QAbstractSlider* s, int value) {
    s->setValue(value);
}
int StepOf(const CBitmapSlider*) {
    return 1;
}
int StepOf(const QAbstractSlider* s) {
    return s->singleStep();
}

template <typename Slider>
class SliderAccessible : public ValueAccessible {
public:
    using ValueAccessible::ValueAccessible;

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return QString::number(ValueOf(slider()));
        return ValueAccessible::text(t);
    }
    QVariant currentValue() const override { return ValueOf(slider()); }
    void setCurrentValue(const QVariant& value) override { MoveSlider(slider(), value.toInt()); }
    QVariant maximumValue() const override { return slider()->maximum(); }
    QVariant minimumValue() const override { return slider()->minimum(); }
    QVariant minimumStepSize() const override { return StepOf(slider()); }

private:
    Slider* slider() const { return static_cast<Slider*>(widget()); }
};

class StripAccessible : public ValueAccessible {
public:
    using ValueAccessible::ValueAccessible;

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return TimeText(strip()->position());
        return ValueAccessible::text(t);
    }
    // In seconds.
    QVariant currentValue() const override { return strip()->position() / 1e6; }
    void setCurrentValue(const QVariant& value) override {
        strip()->SeekTo(static_cast<qint64>(std::llround(value.toDouble() * 1e6)));
    }
    QVariant maximumValue() const override { return strip()->length() / 1e6; }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return strip()->frameRate() > 0 ? 1.0 / strip()->frameRate() : 0.0; }

private:
    TimelineStrip* strip() const { return static_cast<TimelineStrip*>(widget()); }
    static QString TimeText(qint64 micros) {
        const qint64 ms = micros / 1000;
        const QString clock = QTime(0, 0).addMSecs(static_cast<int>(ms % 86'400'000)).toString("HH:mm:ss.zzz");
        return ms >= 86'400'000 ? QString::number(ms / 86'400'000) + "d " + clock : clock;
    }
};

QAccessibleInterface* ControlFactory(const QString& className, QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    if (!w) return nullptr;
    if (className == QLatin1String(CControlButton::staticMetaObject.className())) return new ButtonAccessible(w);
    if (className == QLatin1String(CBitmapSlider::staticMetaObject.className()))
        return new SliderAccessible<CBitmapSlider>(w);
    if (className == QLatin1String(CHyperLink::staticMetaObject.className())) return new LinkAccessible(w);
    if (className == QLatin1String(CLabel::staticMetaObject.className()))
        return new ControlAccessible(w, QAccessible::StaticText);
    if (className == QLatin1String(TimelineStrip::staticMetaObject.className())) return new StripAccessible(w);
    // Qt's tool buttons without a menu and its sliders would be named only by a caption, and
    // the windows' icon and arrow buttons and volume slider have none: they take the rule too.
    if (className == QLatin1String("QToolButton") && !static_cast<QToolButton*>(w)->menu())
        return new ButtonAccessible(w);
    if (className == QLatin1String("QSlider")) return new SliderAccessible<QAbstractSlider>(w);
    return nullptr;
}

}  // namespace

void InstallControlAccessibility(AccessibleNameSource names) {
    NameSource() = std::move(names);
    static const bool installed = [] {
        QAccessible::installFactory(ControlFactory);
        return true;
    }();
    (void)installed;
}

QString AccessibleNameOf(const QWidget* control) {
    if (!control) return {};
    if (!control->accessibleName().isEmpty()) return control->accessibleName();
    if (QString own = OwnText(control).trimmed(); !own.isEmpty()) return own;
    if (QString tip = FirstLine(control->toolTip()); !tip.isEmpty()) return tip;
    return NameSource() ? FirstLine(NameSource()(control)) : QString();
}

}  // namespace ulvane
