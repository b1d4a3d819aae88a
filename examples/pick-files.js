// Opens the open-file dialog for several text or log files and prints what
// was chosen. Run it with: build/hosts/fgscript examples/pick-files.js
var dialog = new ActiveXObject("Farrowgate.DialogHelper");
dialog.Title = "Choose the files to read";
dialog.Filter = "Text files (*.txt)|*.txt|Log files (*.log)|*.log";
dialog.MultiSelect = true;

try {
  if (!dialog.OpenDialog()) {
    WScript.Echo("Nothing was chosen.");
    WScript.Quit(0);
  }
} catch (e) {
  WScript.Echo("The dialog could not be shown: " + e.description + " (0x" + (e.number >>> 0).toString(16) + ")");
  WScript.Echo("Without a display, name the answers in a file:");
  WScript.Echo("  FARROWGATE_DIALOG_ANSWERS=examples/answers/two-files.txt build/hosts/fgscript examples/pick-files.js");
  WScript.Quit(1);
}

WScript.Echo("FileName: " + dialog.FileName);
var files = new VBArray(dialog.FileNames).toArray();
WScript.Echo(files.length + " file(s):");
for (var i = 0; i < files.length; i++) WScript.Echo("  " + files[i]);
