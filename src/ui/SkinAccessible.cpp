#include "ui/SkinAccessible.h"

#include "ui/SkinControls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>

namespace {

// The label that names a picture button: the caption itself, or the caption lying on the image.
const SkinLabel *captionOf(const QWidget *control)
{
    if (const auto *label = qobject_cast<const SkinLabel *>(control))
        return label->buddy() ? label : nullptr;
    if (!control->parentWidget())
        return nullptr;
    for (const QObject *sibling : control->parentWidget()->children()) {
        const auto *label = qobject_cast<const SkinLabel *>(sibling);
        if (label && label->buddy() == control)
            return label;
    }
    return nullptr;
}

// Role and name are looked up on every question: the interface may be made while the window is
// still being built, before the caption is tied to its image.
class SkinAccessible : public QAccessibleWidget
{
public:
    explicit SkinAccessible(QWidget *control) : QAccessibleWidget(control) {}

    QAccessible::Role role() const override
    {
        return captionOf(widget()) ? QAccessible::Button : QAccessible::StaticText;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            if (const SkinLabel *caption = captionOf(widget()))
                return caption->Caption();
            if (const auto *label = qobject_cast<const SkinLabel *>(widget()))
                return label->Caption();
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        return captionOf(widget()) ? QStringList{pressAction()} : QStringList{};
    }

    void doAction(const QString &action) override
    {
        // A modal box above the window takes the user's input; so it takes a reader's press.
        if (action != pressAction() || !captionOf(widget()) || QApplication::activeModalWidget())
            return;
        // The same click a mouse gives, so the command runs with all its checks.
        if (auto *image = qobject_cast<SkinImage *>(widget()))
            emit image->Click();
        else if (auto *label = qobject_cast<SkinLabel *>(widget()))
            emit label->Click();
    }
};

QAccessibleInterface *skinInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("SkinImage") || className == QLatin1String("SkinLabel"))
        return new SkinAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

void installSkinAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(skinInterface);
        return true;
    }();
    Q_UNUSED(installed);
}
