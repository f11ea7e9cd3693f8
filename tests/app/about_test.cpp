// The About box: its texts and font, the mail and home-page labels, and OK
// unloading it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "app/desktop.h"
#include "app/frm_about.h"
#include "tests/doubles/recording_desktop.h"

namespace kestrin::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::RecordingDesktop;

// Owned by Qt: the box deletes itself when it closes.
QPointer<FrmAbout> ShowAbout(Desktop& desktop) {
  QPointer<FrmAbout> about(FrmAbout::Create(desktop));
  about->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(about));
  return about;
}

void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST(FrmAboutTest, ShowsTheProjectsTextsInTheJapaneseGothicFontUnclipped) {
  RecordingDesktop desktop;
  auto about = ShowAbout(desktop);
  EXPECT_EQ(about->windowTitle(), "Kestrin Ver0.1");
  EXPECT_FALSE(about->isModal());
  EXPECT_EQ(about->lblAbout->text(), "Kestrin Ver0.1");
  EXPECT_EQ(about->Label1->text().toStdString(), kCreditLine);
  EXPECT_EQ(about->lblLicence->text().toStdString(), kLicenceLine);
  EXPECT_EQ(about->Label6->text().toStdString(), std::string("E-mail:") + kMailAddress);
  EXPECT_EQ(about->Label8->text(), "ホームページへ");
  EXPECT_EQ(about->cmdAbout->text(), "OK");
  EXPECT_EQ(QFontInfo(about->Label8->font()).family(), "IPAGothic");

  for (QWidget* w :
       std::initializer_list<QWidget*>{about->lblAbout, about->Label1, about->lblLicence,
                                       about->Label6, about->Label8, about->cmdAbout}) {
    EXPECT_TRUE(w->isVisible());
    EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
    EXPECT_GE(w->height(), w->sizeHint().height());
  }
  for (QWidget* label :
       {about->lblAbout, about->Label1, about->lblLicence, about->Label6, about->Label8}) {
    EXPECT_TRUE(about->fraAbout->geometry().contains(
        QRect(label->mapTo(about.data(), QPoint(0, 0)), label->size())));
  }
  about->close();
  DeleteClosed();
}

TEST(FrmAboutTest, LabelsOpenAMailToTheProjectAndItsHomePage) {
  RecordingDesktop desktop;
  auto about = ShowAbout(desktop);
  QTest::mouseClick(about->Label6, Qt::LeftButton);
  EXPECT_THAT(desktop.opened_urls, ElementsAre(std::string("mailto:") + kMailAddress));
  QTest::mouseClick(about->Label8, Qt::LeftButton);
  QTest::mouseClick(about->Label1, Qt::LeftButton);
  QTest::mouseClick(about->Label8, Qt::RightButton);
  EXPECT_THAT(desktop.opened_urls,
              ElementsAre(std::string("mailto:") + kMailAddress, std::string(kHomePage)));
  EXPECT_THAT(desktop.opened_files, IsEmpty());
  EXPECT_THAT(desktop.started, IsEmpty());
  EXPECT_TRUE(about->isVisible());
  about->close();
  DeleteClosed();
}

TEST(FrmAboutTest, OkAndEscapeUnloadTheBox) {
  RecordingDesktop desktop;
  auto about = ShowAbout(desktop);
  QTest::mouseClick(about->cmdAbout, Qt::LeftButton);
  DeleteClosed();
  EXPECT_TRUE(about.isNull());

  about = ShowAbout(desktop);
  QTest::keyClick(about, Qt::Key_Escape);
  DeleteClosed();
  EXPECT_TRUE(about.isNull());
}

}  // namespace
}  // namespace kestrin::app
