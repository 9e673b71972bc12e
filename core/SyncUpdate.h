#pragma once
// Page refresh and persistence after a change of the parameter image. TlxRamPara's
// sig_update_para(int) is connected to para_sync, which therefore runs on the GUI thread.
#include <QObject>

class SyncUpdate : public QObject {
    Q_OBJECT
public:
    static SyncUpdate* pInstance();
    static SyncUpdate* p_SyncUpdate;

public slots:
    // code 1: parameters changed; code 2: the user-mode slots were changed remotely.
    void para_sync(int code);

private:
    SyncUpdate() = default;
};
