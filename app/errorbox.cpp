#include "app/errorbox.h"

#include "app/mainwindow.h"

#include <QMessageBox>

static const char *sourceText(ErrorText text)
{
    switch (text) {
    case ErrorText::InvalidHex:
        return QT_TRANSLATE_NOOP("MainWindow",
                                 "输入数据不是有效的十六进制！\n有效十六进制范围：0~9、a~f、A~F。");
    case ErrorText::InvalidKeyChars:
        return QT_TRANSLATE_NOOP("MainWindow",
                                 "输入数据不是有效的密钥！\n有效密钥范围：0~9、a~z、A~Z。");
    case ErrorText::AesKeyLength:
        return QT_TRANSLATE_NOOP("MainWindow", "密钥长度只允许为128、192或256位！");
    case ErrorText::NothingToEncrypt:
        return QT_TRANSLATE_NOOP("MainWindow", "没有可加密的数据！\n请输入后，继续操作。");
    case ErrorText::NothingToDecrypt:
        return QT_TRANSLATE_NOOP("MainWindow", "没有可解密的数据！\n请输入后，继续操作。");
    case ErrorText::NotCipherText:
        return QT_TRANSLATE_NOOP(
            "MainWindow",
            "待解密数据不是有效的base64字符串或十六进制。\n十六进制举例：0x12,0x34，则填1234。");
    case ErrorText::NothingToEncode:
        return QT_TRANSLATE_NOOP("MainWindow", "没有可编码的数据！\n请输入后，继续操作。");
    case ErrorText::NothingToDecode:
        return QT_TRANSLATE_NOOP("MainWindow", "没有可解码的数据！\n请输入后，继续操作。");
    case ErrorText::NotEncodedText:
        return QT_TRANSLATE_NOOP(
            "MainWindow",
            "待解码数据不是有效的base64字符串或十六进制。\n十六进制举例：0x12,0x34，则填1234。");
    case ErrorText::NothingToHash:
        return QT_TRANSLATE_NOOP("MainWindow", "没有可校验的数据！\n请输入后，继续操作。");
    case ErrorText::NoFileToHash:
        return QT_TRANSLATE_NOOP("MainWindow", "没有可校验的数据！\n请选择文件后，继续操作。");
    case ErrorText::Key1NotHex:
        return QT_TRANSLATE_NOOP("MainWindow",
                                 "key1不是有效的十六进制。\n十六进制举例：0x12,0x34，则填1234。");
    case ErrorText::Key1LengthHex:
        return QT_TRANSLATE_NOOP("MainWindow",
                                 "key1长度不对，必须是8字节。\n如：C4E2B9F07D3A5E18。");
    case ErrorText::Key1LengthChar:
        return QT_TRANSLATE_NOOP("MainWindow", "key1长度不对，必须是8字节。\n如：48201759。");
    case ErrorText::Key2NotHex:
        return QT_TRANSLATE_NOOP("MainWindow",
                                 "key2不是有效的十六进制。\n十六进制举例：0x12,0x34，则填1234。");
    case ErrorText::Key2LengthHex:
        return QT_TRANSLATE_NOOP("MainWindow",
                                 "key2长度不对，必须是8字节。\n如：C4E2B9F07D3A5E18。");
    case ErrorText::Key2LengthChar:
        return QT_TRANSLATE_NOOP("MainWindow", "key2长度不对，必须是8字节。\n如：48201759。");
    case ErrorText::SameKeysDES:
        return QT_TRANSLATE_NOOP(
            "MainWindow", "3DES加解密时，密钥1和密钥2建议不要相同，不然无法发挥3DES的作用。\n"
                          "如果密钥1和密钥2相同，相当于DES加密。请更改后，重新操作。");
    }
    return "";
}

void showErrorBox(QWidget *window, ErrorText text)
{
    QMessageBox::critical(window, MainWindow::tr("错误提示！"), MainWindow::tr(sourceText(text)));
}
