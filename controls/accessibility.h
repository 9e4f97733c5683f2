// What assistive tools (screen readers) learn of the controls that draw themselves: a name, a
// role and, where the control holds one, a value and the actions a user can take.
//
//   CControlButton  a button; pressed by the tool as by a click; checked when it toggles
//   CBitmapSlider   a slider; its position is its value, which the tool may set as the keys do
//   CHyperLink      a link; opened by the tool as by a click; its target is its description
//   CLabel          a static text; its text is its name
//   TimelineStrip   a slider over the file's time, in seconds; its value reads as a time
//
// Qt's own tool buttons without a menu, and its sliders, take the button's and the slider's
// interface too: Qt's would name them only by a caption, and icon buttons have none.
//
// The check list needs no interface of its own: Qt's table serves its rows, each first cell
// checkable and checked as its tick is.
//
// A control's name is its accessible name when its owner gave one, else its own text (a
// caption, a link's or label's text), else its tooltip's first line, else what the name source
// installed with InstallControlAccessibility gives (an owner whose tooltips are looked up when
// shown). So the name is in whatever language the owner's texts are.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace ulvane {

// The name of a control that has none of its own; "" when the owner has none either.
using AccessibleNameSource = std::function<QString(const QWidget* control)>;

// Makes the controls' interfaces the ones Qt hands out. Call once on the window's thread
// before windows are shown; a later call replaces the name source only.
void InstallControlAccessibility(AccessibleNameSource names = {});

// The name a control shows assistive tools, by the rule above (also for controls of Qt's own).
QString AccessibleNameOf(const QWidget* control);

}  // namespace ulvane
