// The Stocks page in the main window: symbols normalised as they are typed, company names, and
// a refresh on demand against a fake quote server.

#include "app/ShellFixture.h"
#include "support/FakeQuoteServer.h"
#include "ui/media/StocksView.h"
#include "ui/widgets/SymbolLabel.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {

class StocksViewTest : public ShellTest {
protected:
    QWidget& page()
    {
        if (!window) {
            makeWindow();
            window->select(SidebarItem::stocks);
            window->show();
        }
        return *window->findChild<QWidget*>(QStringLiteral("stocksPage"));
    }

    template <class T> T* find(const QString& name)
    {
        T* found = page().findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QLineEdit* field(int slot) { return find<QLineEdit>(QStringLiteral("symbolField%1").arg(slot + 1)); }
    QString company(int slot) { return find<QLabel>(QStringLiteral("companyName%1").arg(slot + 1))->text(); }
};

TEST_F(StocksViewTest, Debug)
{
    page();
    QTest::qWait(50);
    QWidget* p = window->findChild<QWidget*>(QStringLiteral("stocksPage"));
    ASSERT_TRUE(p);
    std::printf("visible %d geom %d %d %d %d parent %s\n", p->isVisible(), p->x(), p->y(), p->width(), p->height(),
                qPrintable(p->parentWidget()->objectName()));
    window->grab().save("/tmp/dbg-window.png");
    p->grab().save("/tmp/dbg-page.png");
    for (QWidget* w = p; w; w = w->parentWidget())
        std::printf("%s %s vis=%d %d,%d %dx%d\n", w->metaObject()->className(), qPrintable(w->objectName()), w->isVisible(), w->x(), w->y(), w->width(), w->height());
}

}  // namespace
