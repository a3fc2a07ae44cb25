// Put before the suite's assert.js and each test: the suite's error class and $ERROR, with the
// class's name in every message, so that a failed assertion can be told from an engine error by
// the text alone (an uncaught object prints only its message in the loader's dialect).
function Test262Error(message) {
    this.message = "Test262Error: " + (message || "");
}

Test262Error.prototype.toString = function () {
    return this.message;
};

var $ERROR;
$ERROR = function $ERROR(message) {
    throw new Test262Error(message);
};

function $DONOTEVALUATE() {
    throw "Test262: This statement should not be evaluated.";
}
