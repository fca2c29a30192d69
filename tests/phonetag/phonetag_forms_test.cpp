// placeholder
#include <QtTest>
class PhonetagFormsTest : public QObject {
    Q_OBJECT
};
QTEST_MAIN(PhonetagFormsTest)
#include "phonetag_forms_test.moc"
