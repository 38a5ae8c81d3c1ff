#pragma once

#include <QString>
#include <QWidget>
#include <map>

class QTextBrowser;

namespace brindmar {

// The program's help: HTML pages shipped in a folder beside the program, one per topic number,
// with a contents page and an index, shown in a window of their own that stays open beside the
// main window.
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    HelpWindow(QString helpFolder, const QString& title, QWidget* parent);

    void showTopic(int topic);
    void showContents();
    void showIndex();

    // The page of each topic number the program asks for.
    static const std::map<int, QString>& topicPages();
    static QString contentsPage() { return QStringLiteral("contents.html"); }
    static QString indexPage() { return QStringLiteral("index.html"); }

private:
    void showPage(const QString& page);

    QString m_helpFolder;
    QTextBrowser* m_browser;
};

} // namespace brindmar
