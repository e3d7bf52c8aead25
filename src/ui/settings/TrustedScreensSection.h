#pragma once
// The Advanced tab's list of the screen files the user has allowed to run things: each
// approved page id as its file name, what the loaded file does, and "Revoke". It follows the
// approvals as they change, wherever they are given or taken.

#include "ui/widgets/FormSection.h"

class CustomScreenStore;

class TrustedScreensSection : public FormSection {
    Q_OBJECT
public:
    explicit TrustedScreensSection(CustomScreenStore& store, QWidget* parent = nullptr);

    // The page ids listed, in the order shown.
    QStringList listedIDs() const { return m_ids; }

private:
    void rebuild();

    CustomScreenStore& m_store;
    QStringList m_ids;
    QWidget* m_list = nullptr;
};
