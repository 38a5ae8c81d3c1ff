#include "window/HelpWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace brindmar {

HelpWindow::HelpWindow(QString helpFolder, const QString& title, QWidget* parent)
    : QWidget(parent, Qt::Window), m_helpFolder(std::move(helpFolder)), m_owner(parent),
      m_browser(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(title);
    m_browser->setOpenExternalLinks(true);
    m_browser->setSearchPaths({m_helpFolder});
    // The pages link their style sheet for any browser; this one needs it handed over.
    QFile style(QDir(m_helpFolder).filePath(QStringLiteral("style.css")));
    if (style.open(QIODevice::ReadOnly)) {
        m_browser->document()->setDefaultStyleSheet(QString::fromUtf8(style.readAll()));
    }

    auto* contents = new QPushButton(tr("&Contents"), this);
    auto* index = new QPushButton(tr("&Index"), this);
    auto* back = new QPushButton(tr("&Back"), this);
    auto* forward = new QPushButton(tr("&Forward"), this);
    connect(contents, &QPushButton::clicked, this, &HelpWindow::showContents);
    connect(index, &QPushButton::clicked, this, &HelpWindow::showIndex);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
    back->setEnabled(false);
    forward->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(index);
    buttons->addStretch();
    buttons->addWidget(back);
    buttons->addWidget(forward);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);
    resize(640, 520);
}

const std::map<int, QString>& HelpWindow::topicPages() {
    static const std::map<int, QString> pages = {
        {3, QStringLiteral("main-window.html")},
        {5, QStringLiteral("embed.html")},
        {6, QStringLiteral("extract.html")},
        {7, QStringLiteral("crop.html")},
        {8, QStringLiteral("code.html")},
        {10, QStringLiteral("output-folder.html")},
        {11, QStringLiteral("bmp-information.html")},
        {12, QStringLiteral("full-size-view.html")},
        {13, QStringLiteral("wipe.html")},
        {14, QStringLiteral("start-values.html")},
        {16, QStringLiteral("browsing.html")},
        {18, QStringLiteral("encrypt.html")},
        {19, QStringLiteral("strong.html")},
        {20, QStringLiteral("stealth.html")},
    };
    return pages;
}

void HelpWindow::showTopic(int topic) {
    const auto& pages = topicPages();
    const auto page = pages.find(topic);
    showPage(page != pages.end() ? page->second : contentsPage());
}

void HelpWindow::showContents() {
    showPage(contentsPage());
}

void HelpWindow::showIndex() {
    showPage(indexPage());
}

void HelpWindow::showPage(const QString& page) {
    const QString path = QDir(m_helpFolder).filePath(page);
    if (QFileInfo::exists(path)) {
        m_browser->setSource(QUrl::fromLocalFile(path));
    } else {
        m_browser->setHtml(tr("<h2>Help is not installed</h2><p>The page %1 was not found in "
                              "%2.</p>")
                               .arg(page.toHtmlEscaped(), m_helpFolder.toHtmlEscaped()));
    }
    QWidget* modal = QApplication::activeModalWidget();
    standOver(modal != nullptr && modal != this ? modal : m_owner);
    show();
    raise();
    activateWindow();
}

void HelpWindow::standOver(QWidget* owner) {
    if (owner == nullptr || parentWidget() == owner) {
        return;
    }
    const QRect placed = geometry();
    const bool placedBefore = testAttribute(Qt::WA_WState_Created);
    setParent(owner, Qt::Window);
    if (placedBefore) {
        setGeometry(placed);
    }
}

} // namespace brindmar
