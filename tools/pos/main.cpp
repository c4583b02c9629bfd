// kiv_pos: a command-line point-of-sale stand-in. Loads the payment plug-in,
// runs one operation and prints the answer and the receipt.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <memory>

#include "Config.h"
#include "tools/pos/PaymentPlugin.h"
#include "tools/pos/PosCommand.h"

namespace {

enum ExitCode { Done = 0, Failed = 1, Unusable = 2 };

QTextStream& standardOutput()
{
    static QTextStream out(stdout);
    return out;
}

QTextStream& errorOutput()
{
    static QTextStream err(stderr);
    return err;
}

int printAnswer(const PaymentProcessingAnswer& answer)
{
    QTextStream& out = standardOutput();
    out << "error: " << answer.error << '\n'
        << "message: " << answer.message.text() << '\n'
        << "authorizationCode: " << answer.authorizationCode << '\n'
        << "referenceNumber: " << answer.referenceNumber << '\n'
        << "paymentMethod: " << answer.paymentMethod << '\n'
        << "receipt:\n";
    for (const QString& text : answer.receiptTexts)
        out << text << '\n';
    out.flush();
    return answer.error == 0 ? Done : Failed;
}

int refuse(const QString& reason)
{
    errorOutput() << "kiv_pos: " << reason << Qt::endl;
    return Unusable;
}

int run(BasicPaymentProcessing& adapter, const PosCommand& command)
{
    const PaymentProcessingRequest& request = command.request;
    switch (command.operation) {
    case PosOperation::Payment:
        if (!adapter.acceptsPaymentType(request.type))
            return refuse(QStringLiteral("the plug-in takes no payments of type %1").arg(request.type));
        return printAnswer(adapter.payment(request));
    case PosOperation::CashAdvance:
        if (!adapter.hasOption(EPaymentProcessingOption::CashAdvance))
            return refuse(QStringLiteral("the plug-in offers no cash advance"));
        return printAnswer(adapter.paymentWithCashAdvance(request));
    case PosOperation::Cancel:
        if (!adapter.acceptsCancelType(request.type))
            return refuse(QStringLiteral("the plug-in cancels no payments of type %1").arg(request.type));
        return printAnswer(adapter.cancel(request));
    case PosOperation::ShortReport:
        if (!adapter.hasOption(processing::Reports))
            return refuse(QStringLiteral("the plug-in prints no reports"));
        return printAnswer(adapter.printShortReport());
    case PosOperation::Report:
        if (!adapter.hasOption(processing::Reports))
            return refuse(QStringLiteral("the plug-in prints no reports"));
        return printAnswer(adapter.printReport());
    case PosOperation::CloseBatch:
        return printAnswer(adapter.checkTotals(0));
    case PosOperation::Test:
        return printAnswer(adapter.testConnection());
    case PosOperation::Interrupt: {
        if (!adapter.hasOption(processing::Interrupt))
            return refuse(QStringLiteral("the plug-in cannot interrupt payments"));
        const bool interrupted = adapter.interruptPayment();
        standardOutput() << "interrupted: " << (interrupted ? "yes" : "no") << Qt::endl;
        return interrupted ? Done : Failed;
    }
    }
    return Unusable;
}

int runCommandLine(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs one payment operation through the payment plug-in.\n\nCommands (amounts in minor units):\n")
        + posCommandsHelp());
    parser.addHelpOption();
    const QCommandLineOption pluginOption(QStringLiteral("plugin"), QStringLiteral("Payment plug-in to load."),
        QStringLiteral("file"), QStringLiteral(KIV_POS_DEFAULT_PLUGIN));
    const QCommandLineOption configOption(QStringLiteral("config"),
        QStringLiteral("INI file with the plug-in's settings, loaded before the plug-in's own settings file."),
        QStringLiteral("file"));
    parser.addOption(pluginOption);
    parser.addOption(configOption);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("Operation and its arguments."));
    parser.process(app);

    QString error;
    const std::optional<PosCommand> command = parsePosCommand(parser.positionalArguments(), error);
    if (!command)
        return refuse(error);

    if (parser.isSet(configOption) && !Singleton<Config>::instance->load(parser.value(configOption), QStringLiteral("processing")))
        return refuse(QStringLiteral("cannot read %1").arg(parser.value(configOption)));

    PaymentPlugin plugin(parser.value(pluginOption));
    const std::unique_ptr<BasicPaymentProcessing> adapter = plugin.createAdapter(error);
    if (!adapter)
        return refuse(error);
    adapter->init(PaymentProcessingContext());
    return run(*adapter, *command);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // The host owns the settings; the plug-in reads them from here.
    const auto config = std::make_unique<Config>();
    Singleton<Config>::instance = config.get();
    const int exitCode = runCommandLine(app);
    Singleton<Config>::instance = nullptr;
    return exitCode;
}
