// Asks for one file and prints its full path, or says the user cancelled.
var dialog = new ActiveXObject("Farrowgate.DialogHelper");
dialog.Title = "Choose a file";
dialog.Filter = "All files (*.*)|*.*";
if (dialog.OpenDialog())
  WScript.Echo(dialog.FileName);
else
  WScript.Echo("cancelled");
