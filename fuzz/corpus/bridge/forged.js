// Forged arrays and handles, and methods called on objects of other classes.
var address = { __fgArray: function () { return 0x4141414141; }, __fgHandle: function () { return 1; } };
try { new VBArray(address); } catch (e) {}
try { new Enumerator(address); } catch (e) {}
var o = new ActiveXObject('Farrowgate.DialogHelper');
try { o.Title = address; } catch (e) {}
o.MultiSelect = true; o.OpenDialog(); o.OpenDialog();
var a = new VBArray(o.FileNames);
try { VBArray.prototype.getItem.call(o, 0); } catch (e) {}
try { Enumerator.prototype.item.call(a); } catch (e) {}
try { VBArray.prototype.toArray.call(new Enumerator([1])); } catch (e) {}
try { new VBArray(Object.create(a)); } catch (e) {}
a.toArray();
