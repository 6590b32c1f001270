#pragma once
#include <QLabel>

namespace kx {

// A form label that fits its text after every change, as form labels do by
// default; a plain label placed without a layout keeps the width of its first
// text and cuts off longer ones.
class TLabel : public QLabel
{
public:
    explicit TLabel(const QString& text, QWidget* parent = nullptr) : QLabel(text, parent) { adjustSize(); }

    // Hides QLabel::setText so that every caller through the form's fields
    // gets the resize.
    void setText(const QString& text)
    {
        QLabel::setText(text);
        adjustSize();
    }
};

} // namespace kx
