#include "ZOZRtkLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include <cstdio>

namespace ZOZ {

const char *const RtkFunctionNames[19] = {
    "RTDAB_AddServiceCom",     "RTDAB_ChangeSCOrg",         "RTDAB_CloseDevice",     "RTDAB_DebugCMD",
    "RTDAB_DelServiceCom",     "RTDAB_GetFreqAndBW",        "RTDAB_GetSignalLock",   "RTDAB_GetSignalPresent",
    "RTDAB_GetSignalQuality",  "RTDAB_GetSignalStrength",   "RTDAB_GetTunerRange",   "RTDAB_OpenDevice",
    "RTDAB_SetFICCallBack",    "RTDAB_SetFreqAndBW",        "RTDAB_SetMSCCallBack",  "RTDAB_SetPacketCallBack",
    "RTDAB_SetStreamDataCallBack", "RTDAB_Start",           "RTDAB_Stop",
};

namespace {

constexpr const char *LibraryName = "RTKDAB";

// Touched only by the main thread and the receiver thread, never at once.
struct Binding {
    QLibrary library;
    RtkFunctions functions{};
    decltype(&RTDAB_GetSourceProblem) sourceProblem = nullptr;
    int references = 0;
    bool loaded = false;
    bool started = false;
};

Binding &binding()
{
    static Binding instance;
    return instance;
}

bool resolveAll(QLibrary &library, RtkFunctions *functions)
{
    void **targets[] = {
        reinterpret_cast<void **>(&functions->addServiceCom),  reinterpret_cast<void **>(&functions->changeSCOrg),
        reinterpret_cast<void **>(&functions->closeDevice),    reinterpret_cast<void **>(&functions->debugCmd),
        reinterpret_cast<void **>(&functions->delServiceCom),  reinterpret_cast<void **>(&functions->getFreqAndBW),
        reinterpret_cast<void **>(&functions->getSignalLock),  reinterpret_cast<void **>(&functions->getSignalPresent),
        reinterpret_cast<void **>(&functions->getSignalQuality),
        reinterpret_cast<void **>(&functions->getSignalStrength),
        reinterpret_cast<void **>(&functions->getTunerRange),  reinterpret_cast<void **>(&functions->openDevice),
        reinterpret_cast<void **>(&functions->setFICCallBack), reinterpret_cast<void **>(&functions->setFreqAndBW),
        reinterpret_cast<void **>(&functions->setMSCCallBack), reinterpret_cast<void **>(&functions->setPacketCallBack),
        reinterpret_cast<void **>(&functions->setStreamDataCallBack), reinterpret_cast<void **>(&functions->start),
        reinterpret_cast<void **>(&functions->stop),
    };
    for (int i = 0; i < 19; ++i) {
        QFunctionPointer symbol = library.resolve(RtkFunctionNames[i]);
        if (!symbol)
            return false;
        *targets[i] = reinterpret_cast<void *>(symbol);
    }
    return true;
}

bool tryLoad(QLibrary &library, const QString &path)
{
    library.setFileName(path);
    return library.load();
}

} // namespace

bool rtkLoadLibrary(const QString &directory)
{
    Binding &b = binding();
    ++b.references;
    if (b.loaded)
        return true;
    const QString name = QString::fromLatin1(LibraryName);
    bool ok = false;
    if (!directory.isEmpty()) {
        ok = tryLoad(b.library, QDir(directory).filePath(name));
    } else {
        if (QCoreApplication::instance())
            ok = tryLoad(b.library, QDir(QCoreApplication::applicationDirPath()).filePath(name));
        if (!ok)
            ok = tryLoad(b.library, name);
    }
    if (!ok) {
        std::printf("%s\n", qPrintable(b.library.errorString().left(256)));
        std::fflush(stdout);
        return false;
    }
    RtkFunctions functions{};
    if (!resolveAll(b.library, &functions)) {
        b.library.unload();
        return false;
    }
    b.functions = functions;
    b.sourceProblem = reinterpret_cast<decltype(&RTDAB_GetSourceProblem)>(b.library.resolve("RTDAB_GetSourceProblem"));
    b.loaded = true;
    b.started = false;
    return true;
}

bool rtkUnloadLibrary()
{
    Binding &b = binding();
    if (b.references > 0) {
        --b.references;
        if (b.references > 0)
            return false;
    }
    if (b.loaded) {
        // Unloading under a running delivery thread would pull the code from under it.
        if (b.started)
            b.functions.stop();
        b.started = false;
        b.library.unload();
    }
    b.functions = RtkFunctions{};
    b.sourceProblem = nullptr;
    b.loaded = false;
    return true;
}

bool rtkIsLoaded()
{
    return binding().loaded;
}

const RtkFunctions *rtkFunctions()
{
    return binding().loaded ? &binding().functions : nullptr;
}

decltype(&RTDAB_GetSourceProblem) rtkSourceProblemFunction()
{
    return binding().loaded ? binding().sourceProblem : nullptr;
}

int32_t rtkStart()
{
    Binding &b = binding();
    if (!b.loaded)
        return RTDAB_RESULT_FAILED;
    const int32_t result = b.functions.start();
    if (result == RTDAB_RESULT_SUCCESS)
        b.started = true;
    return result;
}

int32_t rtkStop()
{
    Binding &b = binding();
    if (!b.loaded)
        return RTDAB_RESULT_FAILED;
    const int32_t result = b.functions.stop();
    if (result == RTDAB_RESULT_SUCCESS)
        b.started = false;
    return result;
}

bool rtkIsStarted()
{
    return binding().started;
}

int rtkSetCallbacks(RTDAB_FICCallBack fic, RTDAB_MSCCallBack msc, RTDAB_PacketCallBack packet,
                    RTDAB_StreamDataCallBack streamData, int32_t *result)
{
    const RtkFunctions *f = rtkFunctions();
    if (!f) {
        *result = RTDAB_RESULT_FAILED;
        return 1;
    }
    int32_t answer = f->setFICCallBack(fic);
    if (answer != RTDAB_RESULT_SUCCESS) {
        *result = answer;
        return 1;
    }
    if ((answer = f->setMSCCallBack(msc)) != RTDAB_RESULT_SUCCESS) {
        *result = answer;
        return 2;
    }
    if ((answer = f->setPacketCallBack(packet)) != RTDAB_RESULT_SUCCESS) {
        *result = answer;
        return 3;
    }
    if ((answer = f->setStreamDataCallBack(streamData)) != RTDAB_RESULT_SUCCESS) {
        *result = answer;
        return 4;
    }
    *result = RTDAB_RESULT_SUCCESS;
    return 0;
}

QString rtkResultText(int32_t result)
{
    switch (result) {
    case RTDAB_RESULT_FAILED:
        return QStringLiteral("failed");
    case RTDAB_RESULT_SUCCESS:
        return QStringLiteral("success");
    case RTDAB_RESULT_NO_DEVICE:
        return QStringLiteral("no device found");
    case RTDAB_RESULT_NO_SUCH_COMPONENT:
        return QStringLiteral("no such service component");
    case RTDAB_RESULT_ALREADY_SELECTED:
        return QStringLiteral("already selected service component");
    default:
        return QStringLiteral("unknown");
    }
}

} // namespace ZOZ
