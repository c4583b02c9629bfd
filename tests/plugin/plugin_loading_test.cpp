#include <gtest/gtest.h>

#include <QJsonObject>
#include <QMetaMethod>
#include <QPluginLoader>

#include <memory>

#include "BasicPaymentProcessing.h"
#include "tests/plugin/support/QtPrinters.h"

// The built libProcessingKiv.so, loaded the way the host loads it.
namespace {

class PluginLoadingTest : public ::testing::Test {
protected:
    std::unique_ptr<AbstractPaymentProcessing> getObject()
    {
        AbstractPaymentProcessing* object = nullptr;
        EXPECT_TRUE(QMetaObject::invokeMethod(factory(), "getObject", Qt::DirectConnection,
            Q_RETURN_ARG(AbstractPaymentProcessing*, object)));
        return std::unique_ptr<AbstractPaymentProcessing>(object);
    }

    QObject* factory()
    {
        QObject* instance = loader.instance();
        EXPECT_NE(instance, nullptr) << loader.errorString().toStdString();
        return instance;
    }

    QPluginLoader loader{QStringLiteral(KIV_PLUGIN_FILE)};
};

TEST_F(PluginLoadingTest, MetadataNamesTheFactory)
{
    const QJsonObject metaData = loader.metaData();
    EXPECT_EQ(metaData.value("IID").toString(), "KivPaymentProcessingRegisterFactory");
    EXPECT_EQ(metaData.value("className").toString(), "KivPaymentProcessingFactory");
}

TEST_F(PluginLoadingTest, FactoryOffersGetObjectReturningAbstractPaymentProcessing)
{
    const QMetaObject* meta = factory()->metaObject();
    EXPECT_STREQ(meta->className(), "kiv::KivPaymentProcessingFactory");
    const int index = meta->indexOfMethod("getObject()");
    ASSERT_GE(index, 0);
    EXPECT_STREQ(meta->method(index).typeName(), "AbstractPaymentProcessing*");
    EXPECT_TRUE(QMetaType::fromName("AbstractPaymentProcessing*").isValid());
}

TEST_F(PluginLoadingTest, OneFactoryPerProcessMadeAgainWhenDestroyed)
{
    QObject* first = factory();
    EXPECT_EQ(factory(), first);

    delete first;

    EXPECT_NE(factory(), nullptr);
}

TEST_F(PluginLoadingTest, EveryCallGivesANewAdapter)
{
    const std::unique_ptr<AbstractPaymentProcessing> first = getObject();
    const std::unique_ptr<AbstractPaymentProcessing> second = getObject();

    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get());
}

TEST_F(PluginLoadingTest, AdapterIsCastByNameToItsPaymentProcessingPart)
{
    const std::unique_ptr<AbstractPaymentProcessing> adapter = getObject();
    ASSERT_NE(adapter, nullptr);
    QObject* object = dynamic_cast<QObject*>(adapter.get());
    ASSERT_NE(object, nullptr);

    EXPECT_STREQ(object->metaObject()->className(), "kiv::Processing");
    EXPECT_EQ(object->metaObject()->methodCount(), QObject::staticMetaObject.methodCount());
    for (const char* name : {"BasicPaymentProcessing", "MerovaPaymentProcessing/1.0"})
        EXPECT_EQ(object->qt_metacast(name), static_cast<void*>(adapter.get())) << name;
    EXPECT_EQ(qobject_cast<BasicPaymentProcessing*>(object), adapter.get());
}

} // namespace
