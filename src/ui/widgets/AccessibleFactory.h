#pragma once
// What assistive technology reads of a widget that draws its own items comes from a factory
// Qt asks for each widget's interface. Qt keeps every factory installed and asks each in turn,
// so a view installs its own the first time one is made.

#include <QAccessible>

template <QAccessible::InterfaceFactory factory>
void installAccessibleFactory()
{
    static const bool installed = (QAccessible::installFactory(factory), true);
    Q_UNUSED(installed);
}
