// Every message box text breaks into lines at its phrase ends (or around a
// quoted name), in a box wide enough that Qt breaks no line again; and a
// notice beside a field covers no button.
#include "app_fixture_helpers.h"
#include "key_typing_helpers.h"

#include "app/dialogs/DataInputDlg.h"
#include "app/main_window/data_pane.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"

#include <QAbstractButton>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>

namespace {

// Every text kestrel shows in a message box, the formatted ones with long arguments.
const QStringList kMessages = {
    "(ALL)以外のカテゴリを選択してください",
    "kestrel はすでに起動しています",
    "Windows ｿｹｯﾄの初期化に失敗しました。",
    "これ以上カテゴリを追加できません",
    "カテゴリとそのカテゴリに関連のあるデータを全て消去します。よろしいですか？",
    "カテゴリのデータを消去できませんでした",
    "カテゴリを選択してください",
    "データを入力してください",
    "データを保存できませんでした",
    "データファイルのパス「C:\\Users\\山田太郎\\Documents\\パスワード記録\\kestrel.dat」はWindowsの形式のため、"
    "このコンピュータでは使えません。データファイルを設定しなおしてください",
    "データファイルのパスに使用できない文字が含まれています",
    "データファイルのパスを指定して下さい",
    "データファイルの設定を変更すると、現在編集中のデータは破棄されますが、よろしいですか？",
    "データファイルを前回の状態に戻せませんでした。データファイルは変更されません",
    "データファイルを読めませんでした",
    "パスワードが間違っています。ログインできません",
    "パスワードが更新されました",
    "パスワードを入力してください",
    "レコードを削除します。よろしいですか？",
    "レコードを保存できませんでした",
    "レコードを読み込めませんでした",
    "レコードを選択してください",
    "レコード名を変更します。よろしいですか？",
    "名前は半角511文字（全角255文字）までです",
    "旧パスワードが間違っています。パスワードを更新できませんでした",
    "構成データがありませんので、初期設定してください",
    "検索する文字列を入力してください",
    "見つかりませんでした",
    "設定を変更しましたので、起動しなおしてください",
    "設定を完了しないとプログラムを起動できません",
    "レコード名を変更できませんでした",
    "レコードを削除できませんでした",
    "カテゴリの変更をデータファイルに書き込めませんでした。終了時にもう一度書き込みます",
    "カテゴリの変更の書き込みが途中で止まりました。次回の起動時に完了します",
    "カテゴリの変更の書き込みが途中で止まりました。次回の起動時に、変更前か変更後のどちらかにそろえます",
    "レコードのカテゴリを変更できませんでした",
    "%1 は kestrel が作ったファイルではないため使いません。データファイルは変更されません",
    "データファイルと合わないジャーナルを %1 に移しました。データファイルはそのままです",
    "データファイルを読み込めませんでした。このまま開きますが、データファイルは変更されません",
};

// The texts that the program's sources pass to MessageBox as they stand.
QStringList literal_messages()
{
    const QRegularExpression call(R"re(MessageBox::(?:message|question)\(\s*QStringLiteral\(((?:\s*"[^"]*")+)\s*\))re");
    const QRegularExpression piece(R"re("([^"]*)")re");
    QStringList found;
    QDirIterator files(QStringLiteral(KESTREL_SOURCE_DIR "/app"), {"*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QString source = QString::fromUtf8(file.readAll());
        for (auto calls = call.globalMatch(source); calls.hasNext();) {
            QString text;
            for (auto pieces = piece.globalMatch(calls.next().captured(1)); pieces.hasNext();)
                text += pieces.next().captured(1);
            found << text;
        }
    }
    return found;
}

// A line may end at a phrase end, before "「", or after "」" and its particles.
bool breaks_at_phrase(const QString& line, const QString& next)
{
    static const QRegularExpression quoteAndParticles(QStringLiteral("」\\p{Hiragana}*$"));
    return line.endsWith(QStringLiteral("、")) || line.endsWith(QStringLiteral("。")) ||
           next.startsWith(QStringLiteral("「")) || quoteAndParticles.match(line).hasMatch();
}

using MessageTest = AppTest;

TEST_F(MessageTest, EveryMessageBreaksOnlyAtPhraseEnds)
{
    const QStringList literals = literal_messages();
    EXPECT_GT(literals.size(), 20);
    for (const QString& text : literals)
        EXPECT_TRUE(kMessages.contains(text)) << "not in the list: " << text.toStdString();

    for (const QString& text : kMessages) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("kestrel"), QString(),
                        QMessageBox::Ok | QMessageBox::Cancel);
        set_box_text(box, text);
        box.show();
        const QLabel* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        const QStringList lines = label->text().split(QLatin1Char('\n'));
        EXPECT_EQ(lines.join(QString()), text);
        for (int i = 0; i < lines.size(); ++i) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(lines[i]), label->contentsRect().width())
                << "broken again by the box: " << lines[i].toStdString();
            if (i + 1 < lines.size()) {
                EXPECT_TRUE(breaks_at_phrase(lines[i], lines[i + 1]))
                    << lines[i].toStdString() << " / " << lines[i + 1].toStdString();
            }
        }
    }
}

// A refused character's notice stands where it covers no button: in the
// input dialog (OK and ｷｬﾝｾﾙ under the field) and beside the data pane.
TEST_F(MessageTest, NoticesCoverNoButton)
{
    DataInputDlg input;
    input.show();
    kestrelDlg& window = openWindow(0);
    window.m_edit1->setEnabled(true);
    for (QWidget* field : {static_cast<QWidget*>(input.edit()), static_cast<QWidget*>(window.m_edit1)}) {
        type_text(field, QStringLiteral("😀"));
        EXPECT_EQ(take_notices(), QStringList{notice_not_cp932()});
        const QWidget* notice = notice_widget();
        ASSERT_NE(notice, nullptr);
        for (const QAbstractButton* button : field->window()->findChildren<QAbstractButton*>())
            EXPECT_FALSE(notice->geometry().intersects(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())))
                << button->text().toStdString();
    }
}

} // namespace
