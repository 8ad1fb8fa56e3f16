// The game's questions to the player: the message, question, input and login dialogs, modal
// (the script's call waits for the answer) and asynchronous (the call returns a request id;
// the answer arrives as "other" event 63 with a result map). Also the message box of the
// runner (ShowMessage, MessageBox_Show) in the game window.
//
// Asynchronous requests queue: a new one goes to the head of the dialog queue, the oldest (the
// tail) is the one shown, so at most one asynchronous dialog is open and they appear in the
// order asked for. An answer finishes the request in the request list (Files/HTTP/HTTP.h);
// the next step's asynchronous phase builds its map ("id", "status", and "result" and "value",
// or "username" and "password"), removes it from the queue and shows the next one. A request
// that goes away undelivered (shutdown) is unlinked from the queue and its dialog withdrawn by
// its clean-up; no map exists before delivery, so none is lost.
//
// The dialogs' logic is here, their look is the dialog host's (Files/Base/DialogHost.h).
// Main thread only. Needs the dialog host, the request list, the data-structure maps, the
// graphics layer's full-screen switch and the input state (IO_Clear is the built-ins' own).
#pragma once

#include <cstdint>
#include <string>

#include "Files/Base/DialogHost.h"
#include "Files/HTTP/HTTP.h"

// Dialog kinds (ORDER: the request record's kind word).
enum : int32_t { DIALOG_INPUT = 0, DIALOG_QUESTION = 1, DIALOG_MESSAGE = 2, DIALOG_LOGIN = 3 };

// Control ids of the dialog resources (ORDER: the dialog procedures' numbers).
enum : int32_t {
    IDC_OK = 1, IDC_CANCEL = 2,
    IDC_PROMPT = 1055, IDC_ANSWER = 1061,                // IDD_INPUTQUERY
    IDC_YES = 1066, IDC_NO = 1067, IDC_QUESTION = 1068,  // IDD_QUESTION
    IDC_MESSAGE = 1084,                                  // IDD_MESSAGE_ASYNC
    IDC_USER_LABEL = 1068, IDC_PASSWORD_LABEL = 1069,    // IDD_LOGIN_ASYNC
    IDC_USER = 1070, IDC_PASSWORD = 1062,
};

// The most an answer field gives back (bytes, cut at a character boundary).
constexpr int32_t kDialogAnswerLimit = 1024;
// The most a default answer puts into the field (bytes).
constexpr int32_t kDialogDefaultLimit = 2049;

// One of the four dialogs: its template, texts and fields, and what its buttons answer.
class QueryDialog : public DialogBase {
public:
    QueryDialog(int32_t kind, const char* caption, const char* text, const char* text2);
    const char* Name() const override;
    const char* Caption() const override { return m_caption.c_str(); }
    const DialogTemplate& Template() const override;
    void Init() override;
    int32_t Command(int32_t id) override;
    int32_t ButtonId(const char* text) const override;
    const char* DisplayText() const override { return m_text.c_str(); }
    int32_t DefaultResult() const override;
    const char* ControlText(int32_t id) const override;
    void SetControlText(int32_t id, const char* text) override;
    int32_t CancelId() const override;
    int32_t ClosedResult() const override { return m_kind == DIALOG_MESSAGE ? 1 : 0; }

    int32_t Kind() const { return m_kind; }
    // The answer of an ended dialog: the field's text after OK, "" after Cancel (login: the
    // user name; Password the password).
    const std::string& Answer() const { return m_answer; }
    const std::string& Password() const { return m_password; }

private:
    int32_t m_kind;
    std::string m_caption, m_text, m_field, m_field2; // field2: the login's password
    std::string m_answer, m_password;
};

// ---- Modal (the caption is the game window's) ---------------------------------------------
// Yes gives true.
bool Dialog_ShowQuestion(const char* caption, const char* text);
// OK gives true and the field's text (at most 1,024 bytes) in answer; Cancel false and "".
bool Dialog_InputQuery(const char* caption, const char* prompt, const char* defaultText, std::string* answer);

// ---- Asynchronous: each returns the request id ----------------------------------------------
int32_t Dialog_InputQueryAsync(const char* caption, const char* prompt, const char* defaultText);
int32_t Dialog_QuestionAsync(const char* caption, const char* text);
int32_t Dialog_MessageAsync(const char* caption, const char* text);
int32_t Dialog_LoginAsync(const char* userName, const char* password);
// Requests waiting or shown (tests).
int32_t Dialog_QueueLength();

// ---- Message boxes ------------------------------------------------------------------------
// How a host's font lays out a text, in dialog units: the width of its widest line and the
// number of lines it takes wrapped at wrapWidth (0: at its line breaks only).
struct DialogTextExtent {
    float width;
    int32_t lines;
};
using DialogTextMeasure = DialogTextExtent (*)(const char* text, float wrapWidth);

// A message box as a dialog: the buttons and answers of MessageBox_Show's flags. The box grows
// with its text, up to 400 x 234 dialog units: as wide as its widest line, as high as its lines
// wrapped at that width, measured with the font that draws it (without a measure: about 4
// units a character, lines broken only where the text breaks them).
class MessageBoxDialog : public DialogBase {
public:
    MessageBoxDialog(const char* text, const char* caption, uint32_t flags, DialogTextMeasure measure = nullptr);
    const char* Name() const override { return "message"; }
    const char* Caption() const override { return m_caption.c_str(); }
    const DialogTemplate& Template() const override { return m_template; }
    void Init() override { Restart(); }
    int32_t Command(int32_t id) override;
    int32_t ButtonId(const char* text) const override;
    const char* DisplayText() const override { return m_text.c_str(); }
    int32_t DefaultResult() const override;
    const char* ControlText(int32_t id) const override;
    int32_t CancelId() const override;

private:
    std::string m_text, m_caption;
    uint32_t m_flags;
    DialogControl m_controls[4];
    DialogTemplate m_template;
};
