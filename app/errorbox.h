#ifndef CIPHERBENCH_APP_ERRORBOX_H
#define CIPHERBENCH_APP_ERRORBOX_H

class QWidget;

// The messages the pages refuse input with. Each text is written once, in
// errorbox.cpp.
enum class ErrorText {
    InvalidHex,
    InvalidKeyChars,
    AesKeyLength,
    NothingToEncrypt,
    NothingToDecrypt,
    NotCipherText,
    NothingToEncode,
    NothingToDecode,
    NotEncodedText,
    NothingToHash,
    NoFileToHash,
    Key1NotHex,
    Key1LengthHex,
    Key1LengthChar,
    Key2NotHex,
    Key2LengthHex,
    Key2LengthChar,
    SameKeysDES,
};

// A critical box parented to `window`, titled "错误提示！", with a single OK
// button; title and text pass through MainWindow's tr().
void showErrorBox(QWidget *window, ErrorText text);

#endif
