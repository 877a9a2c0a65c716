#include "DialogBuilder.h"

#include "ClickableLabel.h"
#include "HyperLink.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QTableView>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

namespace kivora::ui {

namespace {

using res::ControlKind;

QString ToQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* MakeControl(QDialog& dialog, const res::ControlTemplate& c)
{
    const QString text = ToQString(c.text);
    switch (c.kind) {
    case ControlKind::Label: {
        auto* label = new QLabel(text, &dialog);
        // Labels show what they are given, never as markup: many show visitors' data.
        label->setTextFormat(Qt::PlainText);
        if (c.style & res::kStyleCentered)
            label->setAlignment(Qt::AlignCenter);
        if (c.style & res::kStyleSunken) {
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setIndent(2);
        }
        return label;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(text, &dialog);
        if (c.style & res::kStylePassword)
            edit->setEchoMode(QLineEdit::Password);
        edit->setReadOnly(c.style & res::kStyleReadOnly);
        return edit;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(text, &dialog);
    case ControlKind::RadioButton:
        return new QRadioButton(text, &dialog);
    case ControlKind::PushButton: {
        auto* button = new QPushButton(text, &dialog);
        button->setAutoDefault(false);
        button->setDefault(c.style & res::kStyleDefault);
        return button;
    }
    case ControlKind::Picture: {
        auto* picture = new CClickableLabel(&dialog);
        picture->setScaledContents(true);
        return picture;
    }
    case ControlKind::LinkButton: {
        auto* button = new QPushButton(text, &dialog);
        button->setFlat(true);
        button->setAutoDefault(false);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(QStringLiteral("QPushButton { color: palette(link); text-align: left; "
                                             "text-decoration: underline; border: none; padding: 0; }"));
        return button;
    }
    case ControlKind::GroupBox:
        return new QGroupBox(text, &dialog);
    case ControlKind::ComboBox:
        return new QComboBox(&dialog);
    case ControlKind::HyperLink:
        return new CHyperLink(&dialog);
    case ControlKind::ListView: {
        auto* view = new QTableView(&dialog);
        view->verticalHeader()->hide();
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setShowGrid(true);
        view->setSortingEnabled(false);
        view->setWordWrap(false);
        return view;
    }
    case ControlKind::MultiLineEdit: {
        auto* edit = new QPlainTextEdit(text, &dialog);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        edit->setTabChangesFocus(true);
        return edit;
    }
    case ControlKind::Custom:
        return new QWidget(&dialog);
    }
    return new QWidget(&dialog);
}

bool TakesFocus(const QWidget* w)
{
    return w->focusPolicy() & Qt::TabFocus;
}

// Controls that show no caption of their own: screen readers name them after the
// label just before them in the template, as the desktop's dialogs do.
bool HasNoCaption(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Edit:
    case ControlKind::ComboBox:
    case ControlKind::ListView:
    case ControlKind::MultiLineEdit:
    case ControlKind::HyperLink:
    case ControlKind::Picture:
    case ControlKind::Custom:
        return true;
    default:
        return false;
    }
}

} // namespace

QString AccessibleNameFromLabel(const QString& labelText)
{
    QString name;
    name.reserve(labelText.size());
    for (qsizetype i = 0; i < labelText.size(); ++i) {
        if (labelText[i] == QLatin1Char('&') && i + 1 < labelText.size())
            ++i; // "&x" is x, "&&" is one ampersand
        name += labelText[i];
    }
    name = name.trimmed();
    while (name.endsWith(QLatin1Char(':')))
        name = name.chopped(1).trimmed();
    return name;
}

namespace {

void NameCaptionlessControls(const res::DialogTemplate& tmpl, const std::vector<QWidget*>& made)
{
    for (std::size_t i = 1; i < made.size(); ++i) {
        const res::ControlTemplate& before = tmpl.controls[i - 1];
        if (!HasNoCaption(tmpl.controls[i].kind) || before.kind != ControlKind::Label ||
            before.id != res::kStaticId)
            continue;
        const QString name = AccessibleNameFromLabel(ToQString(before.text));
        if (!name.isEmpty())
            made[i]->setAccessibleName(name);
    }
}

} // namespace

QRect DialogUnits::ToPixels(int x0, int y0, int cx, int cy) const
{
    const int left = static_cast<int>(std::lround(x0 * x));
    const int top = static_cast<int>(std::lround(y0 * y));
    const int right = static_cast<int>(std::lround((x0 + cx) * x));
    const int bottom = static_cast<int>(std::lround((y0 + cy) * y));
    return QRect(left, top, right - left, bottom - top);
}

QSize DialogUnits::ToPixels(int cx, int cy) const
{
    return QSize(static_cast<int>(std::lround(cx * x)), static_cast<int>(std::lround(cy * y)));
}

QPoint DialogUnits::ScaleOriginalPixels(int px, int py) const
{
    return QPoint(static_cast<int>(std::lround(px / 1.5 * x)), static_cast<int>(std::lround(py / 1.625 * y)));
}

DialogUnits ComputeDialogUnits(const QFont& font)
{
    const QFontMetricsF metrics(font);
    static const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    // The average width is taken over the 52 letters and rounded as the original
    // platform does.
    const double average = std::floor((metrics.horizontalAdvance(alphabet) / 26.0 + 1.0) / 2.0);
    DialogUnits units;
    units.x = average / 4.0;
    units.y = std::ceil(metrics.height()) / 8.0;
    if (units.x <= 0 || units.y <= 0)
        units = DialogUnits{};
    return units;
}

QFont DialogFont(const res::DialogTemplate& tmpl)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    const QString family = ToQString(tmpl.fontFamily);
    if (!family.isEmpty() && QFontDatabase::hasFamily(family))
        font.setFamily(family);
    if (tmpl.fontPoints > 0)
        font.setPointSize(tmpl.fontPoints);
    return font;
}

CDialogControls BuildDialog(QDialog& dialog, const res::DialogTemplate& tmpl)
{
    CDialogControls controls;
    const QFont font = DialogFont(tmpl);
    dialog.setFont(font);
    dialog.setWindowTitle(ToQString(tmpl.caption));
    controls.units = ComputeDialogUnits(font);
    dialog.setFixedSize(controls.units.ToPixels(tmpl.cx, tmpl.cy));

    std::vector<QWidget*> made;
    made.reserve(tmpl.controls.size());
    for (const res::ControlTemplate& c : tmpl.controls) {
        QWidget* w = MakeControl(dialog, c);
        QRect rect = controls.units.ToPixels(c.x, c.y, c.cx, c.cy);
        // A drop-down's template height includes its open list; closed, it is one line.
        if (c.kind == ControlKind::ComboBox)
            rect.setHeight(qMin(rect.height(), w->sizeHint().height()));
        w->setGeometry(rect);
        w->setProperty("controlId", c.id);
        if (c.style & res::kStyleDisabled)
            w->setEnabled(false);
        if (c.style & res::kStyleHidden)
            w->setVisible(false);
        if (c.style & res::kStyleNoTabStop)
            w->setFocusPolicy(c.kind == ControlKind::Edit ? Qt::ClickFocus : Qt::NoFocus);
        if (c.id != res::kStaticId)
            controls.byId.insert(c.id, w);
        made.push_back(w);
    }

    // Frames are drawn behind the controls they surround.
    for (QWidget* w : made) {
        if (qobject_cast<QGroupBox*>(w))
            w->lower();
    }

    // A label's mnemonic moves the focus to the next control that takes it.
    for (std::size_t i = 0; i < made.size(); ++i) {
        auto* label = qobject_cast<QLabel*>(made[i]);
        if (!label || !label->text().contains(QLatin1Char('&')))
            continue;
        for (std::size_t j = i + 1; j < made.size(); ++j) {
            if (TakesFocus(made[j])) {
                label->setBuddy(made[j]);
                break;
            }
        }
    }

    NameCaptionlessControls(tmpl, made);

    QWidget* previous = nullptr;
    for (QWidget* w : made) {
        if (!TakesFocus(w))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
    return controls;
}

} // namespace kivora::ui
