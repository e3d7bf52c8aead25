#include "ui/macros/ShortcutCapture.h"

#include "macros/HIDKeyTables.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/PopoverPlacement.h"

#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QWindow>

namespace {

constexpr std::uint16_t escapeUsage = 0x29;
constexpr std::uint16_t capsLockUsage = 0x39;

HIDModifiers fromQt(Qt::KeyboardModifiers modifiers)
{
    HIDModifiers out;
    if (modifiers & Qt::ControlModifier)
        out.insert(HIDModifiers::control());
    if (modifiers & Qt::ShiftModifier)
        out.insert(HIDModifiers::shift());
    if (modifiers & Qt::AltModifier)
        out.insert(HIDModifiers::option());
    if (modifiers & Qt::MetaModifier)
        out.insert(HIDModifiers::command());
    return out;
}

// The modifier a modifier key stands for, by its usage (left and right keys alike).
std::optional<HIDModifiers> modifierOfUsage(std::uint16_t usage)
{
    switch (usage) {
    case 0xE0:
    case 0xE4: return HIDModifiers::control();
    case 0xE1:
    case 0xE5: return HIDModifiers::shift();
    case 0xE2:
    case 0xE6: return HIDModifiers::option();
    case 0xE3:
    case 0xE7: return HIDModifiers::command();
    case capsLockUsage: return HIDModifiers::none();
    default: return std::nullopt;
    }
}

// A key event without a usable scan code still tells a modifier key by its Qt key.
std::optional<HIDModifiers> modifierOfQtKey(int key)
{
    switch (key) {
    case Qt::Key_Control: return HIDModifiers::control();
    case Qt::Key_Shift: return HIDModifiers::shift();
    case Qt::Key_Alt: return HIDModifiers::option();
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R: return HIDModifiers::command();
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock: return HIDModifiers::none();
    default: return std::nullopt;
    }
}

QString headlineText() { return QStringLiteral("Press the new shortcut"); }

}  // namespace

// --- KeyMonitor -----------------------------------------------------------------------------

bool KeyMonitor::handle(std::uint32_t nativeScanCode, HIDModifiers modifiers, bool isModifierChange)
{
    if (isModifierChange) {
        if (onModifiers)
            onModifiers(modifiers);
        return true;
    }
    const std::optional<std::uint16_t> usage = hidUsageForNativeScanCode(nativeScanCode);
    if (usage == escapeUsage && modifiers.isEmpty()) {
        if (onCancel)
            onCancel();
        return true;
    }
    // A key the device cannot send is swallowed: nothing is recorded and the popup waits on.
    if (usage && onKey)
        onKey(KeyChord{*usage, modifiers});
    return true;
}

HIDModifiers KeyMonitor::modifiersOf(const QKeyEvent& event, bool* isModifierChange)
{
    HIDModifiers modifiers = fromQt(event.modifiers());
    std::optional<HIDModifiers> own;
    if (const auto usage = hidUsageForNativeScanCode(event.nativeScanCode()))
        own = modifierOfUsage(*usage);
    else
        own = modifierOfQtKey(event.key());
    if (isModifierChange)
        *isModifierChange = own.has_value();
    // Whether a desktop counts a modifier key in its own event differs; the key's own bit is
    // set on the way down and cleared on the way up either way.
    if (own) {
        if (event.type() == QEvent::KeyPress)
            modifiers.insert(*own);
        else
            modifiers.remove(*own);
    }
    return modifiers;
}

// --- ShortcutCapturePopup -------------------------------------------------------------------

ShortcutCapturePopup::ShortcutCapturePopup(QWidget* parent) : QFrame(parent, Qt::Popup)
{
    setObjectName(QStringLiteral("shortcutCapturePopup"));
    // The popup holds the keyboard itself: it takes the focus while it shows, so a screen reader
    // says it by its headline and caption; Qt gives the focus back to Record… when it closes.
    setAccessibleName(headlineText());
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    setFixedWidth(popoverWidth);

    auto* headline = new QLabel(headlineText());
    headline->setObjectName(QStringLiteral("captureHeadline"));
    QFont bold = headline->font();
    bold.setBold(true);
    headline->setFont(bold);
    headline->setAlignment(Qt::AlignCenter);

    m_heldLabel = new QLabel;
    m_heldLabel->setObjectName(QStringLiteral("heldModifiers"));
    m_heldLabel->setFont(FormSection::monospacedFont(3));
    m_heldLabel->setMinimumHeight(28);
    m_heldLabel->setAlignment(Qt::AlignCenter);

    m_caption = new QLabel;
    m_caption->setObjectName(QStringLiteral("captureCaption"));
    m_caption->setFont(FormSection::relativeFont(m_caption->font(), -2));
    m_caption->setWordWrap(true);
    m_caption->setAlignment(Qt::AlignCenter);
    QPalette secondary = m_caption->palette();
    secondary.setColor(QPalette::WindowText, FormSection::secondaryColor(m_caption));
    m_caption->setPalette(secondary);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(10);
    layout->addWidget(headline);
    layout->addWidget(m_heldLabel);
    layout->addWidget(m_caption);

    m_monitor.onModifiers = [this](HIDModifiers modifiers) {
        m_held = modifiers;
        showHeld();
    };
    m_monitor.onKey = [this](const KeyChord& chord) {
        // Listening ends before the chord is handed over: the receiver may rebuild the editor
        // that owns this popup.
        stopMonitor();
        QPointer<ShortcutCapturePopup> self(this);
        emit chordRecorded(chord);
        if (self)
            close();
    };
    m_monitor.onCancel = [this] { close(); };

    m_grabRetry.setInterval(grabRetryMs);
    connect(&m_grabRetry, &QTimer::timeout, this, &ShortcutCapturePopup::tryGrab);
    showHeld();
    showCaption();
}

ShortcutCapturePopup::~ShortcutCapturePopup()
{
    stopMonitor();
}

QString ShortcutCapturePopup::captionText(KeyboardGrab::Result grab)
{
    switch (grab) {
    case KeyboardGrab::Result::grabbed:
    case KeyboardGrab::Result::notYet:
        return QStringLiteral("System shortcuts such as Super+L or Alt+Tab are captured too. Press Escape to cancel.");
    case KeyboardGrab::Result::refused:
        return QStringLiteral("Another program holds the keyboard, so shortcuts the desktop keeps, such as Super+L "
                              "or Alt+Tab, cannot be recorded now; the list of common shortcuts has them. "
                              "Press Escape to cancel.");
    case KeyboardGrab::Result::unsupported:
        break;
    }
    return QStringLiteral("On Wayland only the keys the compositor passes on reach Tarv, so shortcuts it keeps, "
                          "such as Super+L or Alt+Tab, cannot be recorded; the list of common shortcuts has them. "
                          "Press Escape to cancel.");
}

void ShortcutCapturePopup::popUp(QWidget* anchor)
{
    if (anchor) {
        adjustSize();
        move(popoverPosition(*anchor, popoverWidth));
    }
    // The popup's own focus widget, which it gives the focus as it opens.
    setFocus(Qt::PopupFocusReason);
    show();
}

void ShortcutCapturePopup::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    m_shown = true;
    startMonitor();
}

void ShortcutCapturePopup::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    stopMonitor();
    if (m_shown) {
        m_shown = false;
        emit finished();
    }
}

void ShortcutCapturePopup::startMonitor()
{
    if (m_listening)
        return;
    m_listening = true;
    m_held = {};
    showHeld();
    qApp->installEventFilter(this);
    m_grab = KeyboardGrab::create();
    m_grabAttemptsLeft = grabAttempts;
    tryGrab();
}

void ShortcutCapturePopup::stopMonitor()
{
    m_grabRetry.stop();
    if (m_grab) {
        m_grab->release();
        m_grab.reset();
    }
    if (m_listening) {
        m_listening = false;
        qApp->removeEventFilter(this);
    }
}

void ShortcutCapturePopup::tryGrab()
{
    if (!m_grab)
        return;
    m_grabResult = m_grab->grab(windowHandle());
    if (m_grabResult == KeyboardGrab::Result::notYet) {
        if (--m_grabAttemptsLeft > 0) {
            m_grabRetry.start();
        } else {
            m_grabRetry.stop();
            m_grabResult = KeyboardGrab::Result::refused;
        }
    } else {
        m_grabRetry.stop();
    }
    showCaption();
}

void ShortcutCapturePopup::showHeld()
{
    const bool waiting = m_held.isEmpty();
    m_heldLabel->setText(waiting ? QStringLiteral("Waiting…") : modifierGlyphs(m_held));
    QPalette palette = m_heldLabel->palette();
    palette.setColor(QPalette::WindowText,
                     waiting ? FormSection::secondaryColor(m_heldLabel) : QPalette().color(QPalette::WindowText));
    m_heldLabel->setPalette(palette);
}

void ShortcutCapturePopup::showCaption()
{
    const QString text = captionText(m_grabResult);
    if (m_caption->text() == text)
        return;
    m_caption->setText(text);
    setAccessibleDescription(text);
    // The caption is known once the grab was asked for, after the popup appeared.
    if (isVisible())
        adjustSize();
}

bool ShortcutCapturePopup::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_listening)
        return QFrame::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claimed here, so no shortcut of the application acts on the chord being recorded.
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        bool isModifierChange = false;
        const HIDModifiers modifiers = KeyMonitor::modifiersOf(*key, &isModifierChange);
        if (event->type() == QEvent::KeyRelease && !isModifierChange)
            return true;
        if (key->isAutoRepeat() && isModifierChange)
            return true;
        return m_monitor.handle(key->nativeScanCode(), modifiers, isModifierChange);
    }
    default:
        return QFrame::eventFilter(watched, event);
    }
}
