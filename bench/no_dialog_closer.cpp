// Builds without a window front-end have no dialogs to close.
void StartClosingDialogs() {}
