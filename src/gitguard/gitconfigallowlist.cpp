#include "gitguard/gitconfigallowlist.h"

#include "gitguard/gitconfigkey.h"
#include "gitguard/gitconfigkeyindex.h"
#include "gitguard/gitconfigvalue.h"
#include "gitguard/gitlistedkeys.h"
#include "gitguard/gitnetworkaddress.h"

#include <iterator>
#include <string>
#include <vector>

namespace korvane {
namespace {

using Verdict = GitConfigRule::Verdict;

constexpr GitConfigRule allow(std::string_view key, bool listedByGit = true) {
    return {key, Verdict::allowed, {}, listedByGit};
}

constexpr GitConfigRule refuse(std::string_view key, std::string_view why, bool listedByGit = true) {
    return {key, Verdict::refused, why, listedByGit};
}

constexpr GitConfigRule only(std::string_view key, std::string_view values, bool listedByGit = true) {
    return {key, Verdict::someValues, values, listedByGit};
}

constexpr GitConfigRule exactly(std::string_view key, std::string_view values, bool listedByGit = true) {
    return {key, Verdict::exactValues, values, listedByGit};
}

// Harmless with one of `values`; with another it does what `others` says.
constexpr GitConfigRule onlyElse(std::string_view key, std::string_view values, std::string_view others) {
    return {key, Verdict::someValues, values, true, others};
}

constexpr GitConfigRule schemes(std::string_view key, std::string_view schemes) {
    return {key, Verdict::schemeAddress, schemes, false};
}

constexpr GitConfigRule address(std::string_view key) {
    return {key, Verdict::networkAddress, {}};
}

constexpr GitConfigRule remote(std::string_view key) {
    return {key, Verdict::remoteName, {}};
}

// A text file git reads, which lies in the repository's work tree or is not there yet.
constexpr GitConfigRule textFile(std::string_view key, std::string_view why) {
    return {key, Verdict::workTreeFile, why};
}

// Read by a script that evaluates it as shell code, as `why` says.
constexpr GitConfigRule words(std::string_view key, std::string_view why) {
    return {key, Verdict::noShellSyntax, why, false};
}

constexpr std::string_view startsProgram = "starts a program";
constexpr std::string_view readsFile = "names a file git reads";
constexpr std::string_view redirects = "redirects an address or its traffic";
constexpr std::string_view web =
    "configures git's web transport (proxies, certificates, cookies, headers), which may redirect its traffic "
    "or read files";
constexpr std::string_view alias = "defines an alias";
constexpr std::string_view driver = "defines a driver, whose commands git runs";
constexpr std::string_view includes = "includes another file";
constexpr std::string_view protection = "switches off a protection";
constexpr std::string_view signs = "makes git sign or verify, which starts gpg or ssh";
constexpr std::string_view tool = "configures a tool git starts";
constexpr std::string_view credentials = "configures a credential helper, a program";
constexpr std::string_view mail = "configures sending mail, which starts programs";
constexpr std::string_view strategy = "names a merge strategy, a program";
constexpr std::string_view remoteProgram = "names a program run for the remote";
constexpr std::string_view recipients = "adds recipients to patches";
constexpr std::string_view transports = "decides which transports git may use";
constexpr std::string_view viewer = "makes the web viewer start a program";
constexpr std::string_view lfs =
    "configures git-lfs, which runs programs and reads files and addresses named there";
constexpr std::string_view lfsAddress = "names where git-lfs goes, which may be a folder on this machine";
constexpr std::string_view svn =
    "configures git svn, which runs programs and reads files and addresses named there";
constexpr std::string_view gui = "configures git gui, which hands options and files named there to git";
constexpr std::string_view otherRepositories = "names repositories that git is run in";
constexpr std::string_view formatAlias = "defines a format alias";
constexpr std::string_view annex =
    "configures git-annex, which runs programs and reads files and addresses named there";
constexpr std::string_view gcrypt =
    "configures git-remote-gcrypt, which hands options named there to gpg and rsync";
constexpr std::string_view publishSigns = "makes git publish sign, which starts gpg";
constexpr std::string_view gitflowCode = "is read by git flow, which evaluates it as shell code";
constexpr std::string_view logFormat =
    "a format of git log, which may have gpg check the folder's signatures";
constexpr std::string_view yesOrNo = "true|false|yes|no|on|off|1|0";
// A rebase "interactive" starts the editor.
constexpr std::string_view rebaseValues = "true|false|yes|no|on|off|1|0|merges|m";
// A check of what git takes in that the user may have turned on stays on.
constexpr std::string_view onlyTrue = "true|yes|on|1";
// A level of such a check that the user may have raised is not lowered.
constexpr std::string_view onlyError = "error";
// For a repository on this machine git starts git there without the settings it was given.
constexpr std::string_view notOverTheNetwork =
    "not an address over the network (a push on this machine runs its hooks)";

// Ordered by section. The first rule that matches a key decides: within a section the refusals come before
// the allowances that would also match them, and the allowances of a section refused as a whole before
// that refusal.
constexpr GitConfigRule rules[] = {
    // clang-format off
    allow("add.ignoreErrors"), allow("add.interactive.useBuiltin"),
    allow("advice.*"),
    refuse("alias.*", alias), refuse("alias.<name>.*", alias, false),
    allow("am.keepcr"), allow("am.threeWay"),
    // What git-annex reads; the filter `git annex init` writes is a driver like any other. What it writes
    // for itself on `init` names the repository, its version and how it keys objects.
    allow("annex.uuid", false), allow("annex.version", false), allow("annex.backend", false),
    refuse("annex.*", annex, false), refuse("annex.<name>.*", annex, false),
    allow("apply.ignoreWhitespace"), allow("apply.whitespace"),
    allow("author.email"), allow("author.name"),
    textFile("blame.ignoreRevsFile", readsFile), allow("blame.blankBoundary"), allow("blame.coloring"),
    allow("blame.date"), allow("blame.markIgnoredLines"), allow("blame.markUnblamableLines"),
    allow("blame.showEmail"), allow("blame.showRoot"),
    refuse("branch.<name>.mergeOptions", strategy), only("branch.<name>.rebase", rebaseValues),
    remote("branch.<name>.pushRemote"), remote("branch.<name>.remote"), allow("branch.<name>.description"),
    allow("branch.<name>.merge"), allow("branch.autoSetupMerge"), allow("branch.autoSetupRebase"),
    allow("branch.sort"),
    // Written by VS Code, its pull-request extension ("owner#repository#branch") and gh, read by them alone
    // as a branch's name.
    allow("branch.<name>.vscode-merge-base", false), allow("branch.<name>.gh-merge-base", false),
    allow("branch.<name>.github-pr-base-branch", false),
    refuse("branch.<name>.gitpublishcccmd", startsProgram, false),
    refuse("branchless.test.alias.*", "is a command git-branchless's test runs", false),
    // Revsets, which git-branchless evaluates itself: the parentheses of a function call run nothing.
    allow("branchless.revsets.alias.*", false), allow("branchless.smartlog.defaultRevset", false),
    refuse("browser.<tool>.*", tool),
    refuse("bundle.*", "fetches bundles from an address"),
    refuse("bundle.<id>.*", "fetches bundles from an address"),
    refuse("changelog.opts", "hands options to git log, which may name files it writes", false),
    refuse("changelog.format", logFormat, false), refuse("changelog.mergeformat", logFormat, false),
    allow("checkout.defaultRemote"), allow("checkout.guess"), allow("checkout.thresholdForParallelism"),
    allow("checkout.workers"),
    refuse("clangformat.binary", "names the program git clang-format runs", false),
    // Without it, `git clean` deletes untracked files unasked.
    only("clean.requireForce", "true|yes|on|1"),
    allow("clone.defaultRemoteName"), allow("clone.filterSubmodules"), allow("clone.rejectShallow"),
    allow("color.*"), allow("color.<slot>.*"),
    allow("column.branch"), allow("column.clean"), allow("column.status"), allow("column.tag"),
    allow("column.ui"),
    refuse("commit.gpgSign", signs), textFile("commit.template", readsFile), allow("commit.cleanup"),
    allow("commit.status"), allow("commit.verbose"),
    allow("commitGraph.generationVersion"), allow("commitGraph.maxNewFilters"),
    allow("commitGraph.readChangedPaths"),
    allow("committer.email"), allow("committer.name"),
    allow("completion.commands"),
    refuse("core.alternateRefsCommand", startsProgram),
    refuse("core.alternateRefsPrefixes", "passes arguments to git run in another repository"),
    refuse("core.askPass", startsProgram), textFile("core.attributesFile", readsFile),
    refuse("core.editor", startsProgram), textFile("core.excludesFile", readsFile),
    onlyElse("core.fsmonitor", "false|no|off|0", startsProgram),
    refuse("core.fsmonitorHookVersion", "configures the fsmonitor hook"),
    refuse("core.gitProxy", startsProgram),
    // Where the user's commands run, the hooks folder Korvane sets outranks the folder's, whatever it names.
    allow("core.hooksPath"),
    refuse("core.pager", startsProgram), refuse("core.protectHFS", protection),
    refuse("core.protectNTFS", protection),
    refuse("core.sharedRepository", "widens who may write the repository"),
    refuse("core.sshCommand", startsProgram),
    refuse("core.unsetenvvars", "changes the environment of the programs git starts"),
    {"core.worktree", Verdict::ownWorkTree, {}}, allow("core.abbrev"), allow("core.autocrlf"),
    allow("core.bare"), allow("core.bigFileThreshold"), allow("core.checkRoundtripEncoding"),
    allow("core.checkStat"), allow("core.commentChar"), allow("core.commitGraph"), allow("core.compression"),
    allow("core.createObject"), allow("core.deltaBaseCacheLimit"), allow("core.eol"), allow("core.fileMode"),
    allow("core.filesRefLockTimeout"), allow("core.fsync"), allow("core.fsyncMethod"),
    allow("core.fsyncObjectFiles"), allow("core.hideDotFiles"), allow("core.ignoreCase"),
    allow("core.ignoreStat"), allow("core.logAllRefUpdates"), allow("core.looseCompression"),
    // Written by Git for Windows.
    allow("core.longpaths", false),
    allow("core.multiPackIndex"), allow("core.notesRef"), allow("core.packedGitLimit"),
    allow("core.packedGitWindowSize"), allow("core.packedRefsTimeout"), allow("core.precomposeUnicode"),
    allow("core.preferSymlinkRefs"), allow("core.preloadIndex"), allow("core.quotePath"),
    allow("core.repositoryFormatVersion"), allow("core.restrictinheritedhandles"), allow("core.safecrlf"),
    allow("core.sparseCheckout"), allow("core.sparseCheckoutCone"), allow("core.splitIndex"),
    allow("core.symlinks"), allow("core.trustctime"), allow("core.untrackedCache"),
    allow("core.useReplaceRefs"), allow("core.warnAmbiguousRefs"), allow("core.whitespace"),
    // Written by scalar; a yes or no names no program, for git or for the user's credential helper.
    only("credential.useHttpPath", yesOrNo), only("credential.<url>.useHttpPath", yesOrNo, false),
    only("credential.validate", yesOrNo, false),
    // A name the user's credential helper is asked for, text like any other it is handed.
    allow("credential.<url>.username", false),
    refuse("credential.*", credentials), refuse("credential.<url>.*", credentials),
    refuse("credentialCache.*", credentials),
    refuse("credentialStore.*", credentials),
    refuse("cvsexportcommit.*", "names the CVS checkout git cvsexportcommit writes to", false),
    refuse("cvsimport.*", "configures git cvsimport, which runs CVS for an address named there", false),
    // How git's own diff names a hunk's function, splits words and whether it shows a file at all: no
    // program.
    allow("diff.<driver>.xfuncname"), allow("diff.<driver>.binary"), allow("diff.<driver>.wordRegex"),
    refuse("diff.<driver>.*", driver),
    refuse("diff.external", startsProgram), refuse("diff.guitool", tool), refuse("diff.tool", tool),
    refuse("diff.orderFile", readsFile), allow("diff.algorithm"),
    allow("diff.autoRefreshIndex"), allow("diff.colorMoved"), allow("diff.colorMovedWS"),
    allow("diff.context"), allow("diff.dirstat"), allow("diff.ignoreSubmodules"),
    allow("diff.indentHeuristic"), allow("diff.interHunkContext"), allow("diff.mnemonicPrefix"),
    allow("diff.noprefix"), allow("diff.relative"), allow("diff.renameLimit"), allow("diff.renames"),
    allow("diff.statGraphWidth"), allow("diff.submodule"), allow("diff.suppressBlankEmpty"),
    allow("diff.wordRegex"), allow("diff.wsErrorHighlight"),
    refuse("difftool.*", tool), refuse("difftool.<tool>.*", tool),
    allow("extensions.objectFormat"), allow("extensions.worktreeConfig"),
    // Written by the partial clones of older versions of git.
    allow("extensions.partialClone", false),
    allow("fastimport.unpackLimit"),
    allow("feature.experimental"), allow("feature.manyFiles"),
    refuse("feature.*", "turns on a feature this list does not know"),
    refuse("fetch.fsck.skipList", readsFile), exactly("fetch.fsck.<msg-id>", onlyError),
    refuse("fetch.uriProtocols", transports, false),
    only("fetch.fsckObjects", onlyTrue),
    allow("fetch.negotiationAlgorithm"), allow("fetch.output"), allow("fetch.parallel"), allow("fetch.prune"),
    allow("fetch.pruneTags"), allow("fetch.recurseSubmodules"), allow("fetch.showForcedUpdates"),
    allow("fetch.unpackLimit"), allow("fetch.writeCommitGraph"),
    // What `git lfs install` writes, which runs the git-lfs of the user's own search path.
    exactly("filter.lfs.clean", "git-lfs clean -- %f", false),
    exactly("filter.lfs.smudge", "git-lfs smudge -- %f|git-lfs smudge --skip -- %f", false),
    exactly("filter.lfs.process", "git-lfs filter-process|git-lfs filter-process --skip", false),
    only("filter.lfs.required", onlyTrue, false),
    refuse("filter.<driver>.*", driver),
    refuse("format.cc", recipients), refuse("format.headers", recipients), refuse("format.to", recipients),
    refuse("format.outputDirectory", "names a folder git writes to"),
    refuse("format.signatureFile", readsFile), allow("format.attach"), allow("format.coverFromDescription"),
    allow("format.coverLetter"), allow("format.encodeEmailHeaders"), allow("format.filenameMaxLength"),
    allow("format.forceInBodyFrom"), allow("format.from"), allow("format.notes"), allow("format.numbered"),
    // git's own formats; a format of the folder's (or the name of one of the user's) may show
    // signatures, whose check starts gpg on the folder's commits.
    only("format.pretty", "oneline|short|medium|full|fuller|reference|email|raw|mboxrd"),
    allow("format.signOff"), allow("format.signature"), allow("format.subjectPrefix"),
    allow("format.suffix"), allow("format.thread"), allow("format.useAutoBase"),
    refuse("fsck.skipList", readsFile), exactly("fsck.<msg-id>", onlyError),
    refuse("fsmonitor.*", "configures the fsmonitor daemon"),
    allow("gc.<pattern>.reflogExpire"), allow("gc.<pattern>.reflogExpireUnreachable"),
    allow("gc.aggressiveDepth"), allow("gc.aggressiveWindow"), allow("gc.auto"), allow("gc.autoDetach"),
    allow("gc.autoPackLimit"), allow("gc.bigPackThreshold"), allow("gc.cruftPacks"), allow("gc.logExpiry"),
    allow("gc.packRefs"), allow("gc.pruneExpire"), allow("gc.reflogExpire"),
    allow("gc.reflogExpireUnreachable"), allow("gc.rerereResolved"), allow("gc.rerereUnresolved"),
    allow("gc.worktreePruneExpire"), allow("gc.writeCommitGraph"),
    refuse("gcrypt.*", gcrypt, false),
    refuse("git-crypt.repoStateDir", "names the folder of keys git-crypt reads and writes", false),
    refuse("git-extras.info.*", "is a command git info runs", false),
    refuse("git-publish.signingkey", publishSigns, false), refuse("git-publish.signPull", publishSigns, false),
    // Written by git town: branch names, prefixes and the patterns it matches them with, read as such; its
    // browser is a program.
    refuse("git-town.browser", "names the browser git town starts", false),
    allow("git-town.branch-prefix", false), allow("git-town.main-branch", false),
    allow("git-town.perennial-branches", false), allow("git-town.contribution-regex", false),
    allow("git-town.feature-regex", false), allow("git-town.observed-regex", false),
    allow("git-town.perennial-regex", false), allow("git-town-branch.<name>.parent", false),
    refuse("gitcvs.*", "configures the CVS server, which names files and databases"),
    refuse("gitcvs.<method>.*", "configures the CVS server, which names files and databases", false),
    refuse("gitweb.avatar", "makes the web viewer load pictures from another site"),
    refuse("gitweb.highlight", viewer), refuse("gitweb.snapshot", viewer), allow("gitweb.blame"),
    allow("gitweb.category"), allow("gitweb.description"), allow("gitweb.grep"), allow("gitweb.owner"),
    allow("gitweb.patches"), allow("gitweb.pickaxe"), allow("gitweb.remote_heads"), allow("gitweb.showSizes"),
    allow("gitweb.url"),
    // Written by git-flow, which runs the hooks of the folder gitflow.path.hooks names (git flow init writes
    // the git directory's own, which it runs where the key is not set), and evaluates the others, its
    // prefixes and branches among them, as shell code.
    {"gitflow.path.hooks", Verdict::ownHooks, "names the folder of hooks git flow runs", false},
    words("gitflow.*", gitflowCode), words("gitflow.<name>.*", gitflowCode),
    refuse("gitpublishprofile.<name>.cccmd", startsProgram, false),
    refuse("gitpublishprofile.<name>.signingkey", publishSigns, false),
    refuse("gitpublishprofile.<name>.signPull", publishSigns, false),
    refuse("gpg.*", signs), refuse("gpg.<format>.*", signs),
    allow("grep.column"), allow("grep.extendedRegexp"), allow("grep.fallbackToNoIndex"),
    allow("grep.fullName"), allow("grep.lineNumber"), allow("grep.patternType"), allow("grep.threads"),
    refuse("gui.spellingDictionary", readsFile), allow("gui.blamehistoryctx"), allow("gui.commitMsgWidth"),
    allow("gui.copyBlameThreshold"), allow("gui.diffContext"), allow("gui.displayUntracked"),
    allow("gui.encoding"), allow("gui.fastCopyBlame"), allow("gui.matchTrackingBranch"),
    allow("gui.newBranchTemplate"), allow("gui.pruneDuringFetch"), allow("gui.trustmtime"),
    allow("gui.geometry", false), allow("gui.wmstate", false),
    // Written by scalar.
    allow("gui.GCWarning", false),
    refuse("gui.*", gui, false),
    refuse("guitool.<name>.*", tool),
    refuse("help.autoCorrect", "runs a command git guesses"),
    refuse("help.htmlPath", "names the pages a browser opens"),
    refuse("help.*", "chooses the viewer git help starts"),
    allow("http.postBuffer"), allow("http.version"), allow("http.lowSpeedLimit"), allow("http.lowSpeedTime"),
    onlyElse("http.sslVerify", onlyTrue, protection), refuse("http.*", web),
    refuse("http.<url>.*", web),
    allow("i18n.commitEncoding"), allow("i18n.logOutputEncoding"),
    refuse("imap.*", mail),
    refuse("include.path", includes),
    refuse("includeIf.<condition>.path", includes),
    allow("index.recordEndOfIndexEntries"), allow("index.recordOffsetTable"), allow("index.sparse"),
    allow("index.threads"), allow("index.version"),
    refuse("init.templateDir", "names a folder git copies hooks from"), allow("init.defaultBranch"),
    refuse("instaweb.*", "configures the web server git instaweb starts"),
    refuse("interactive.diffFilter", startsProgram), allow("interactive.singleKey"),
    // Only as false: verifying starts gpg or ssh.
    only("log.showSignature", "false|no|off|0"), allow("log.abbrevCommit"), allow("log.date"),
    allow("log.decorate"), allow("log.diffMerges"), allow("log.excludeDecoration"), allow("log.follow"),
    allow("log.graphColors"), allow("log.initialDecorationSet"), allow("log.mailmap"), allow("log.showRoot"),
    // What git-lfs writes after a login and the objects a fetch leaves out, which the work tree's
    // .lfsconfig may set as well.
    allow("lfs.<url>.access", false), allow("lfs.<url>.locksverify", false),
    allow("lfs.fetchExclude", false), allow("lfs.fetchInclude", false), allow("lfs.locksVerify", false),
    allow("lfs.repositoryformatversion", false),
    refuse("lfs.*", lfs, false), refuse("lfs.<url>.*", lfs, false),
    allow("lsrefs.unborn"),
    allow("mailinfo.scissors"),
    refuse("mailmap.file", readsFile), allow("mailmap.blob"),
    refuse("maintenance.repo", otherRepositories, false), allow("maintenance.<task>.auto"),
    allow("maintenance.<task>.enabled"),
    allow("maintenance.<task>.schedule"), allow("maintenance.auto"), allow("maintenance.strategy"),
    refuse("man.*", tool), refuse("man.<tool>.*", tool),
    refuse("merge.<driver>.*", driver), refuse("merge.guitool", tool), refuse("merge.tool", tool),
    refuse("merge.verifySignatures", signs), allow("merge.autoStash"), allow("merge.branchdesc"),
    allow("merge.conflictStyle"), allow("merge.defaultToUpstream"), allow("merge.directoryRenames"),
    allow("merge.ff"), allow("merge.log"), allow("merge.renameLimit"), allow("merge.renames"),
    allow("merge.renormalize"), allow("merge.stat"), allow("merge.suppressDest"), allow("merge.verbosity"),
    refuse("mergetool.*", tool), refuse("mergetool.<tool>.*", tool),
    allow("notes.<name>.mergeStrategy"), allow("notes.displayRef"), allow("notes.mergeStrategy"),
    allow("notes.rewrite.<command>"), allow("notes.rewriteMode"), allow("notes.rewriteRef"),
    allow("pack.allowPackReuse"), allow("pack.compression"), allow("pack.deltaCacheLimit"),
    allow("pack.deltaCacheSize"), allow("pack.depth"), allow("pack.indexVersion"), allow("pack.island"),
    allow("pack.islandCore"), allow("pack.packSizeLimit"), allow("pack.preferBitmapTips"),
    allow("pack.threads"), allow("pack.useBitmaps"), allow("pack.useSparse"), allow("pack.window"),
    allow("pack.windowMemory"), allow("pack.writeBitmapHashCache"), allow("pack.writeBitmapLookupTable"),
    allow("pack.writeReverseIndex"),
    // An alias `git x.y` looks its pager up under "pager.x.y".
    refuse("pager.<cmd>", startsProgram), refuse("pager.<cmd>.*", startsProgram, false),
    // A format `--format=x.y` names is read from "pretty.x.y".
    refuse("pretty.<name>", formatAlias), refuse("pretty.<name>.*", formatAlias, false),
    refuse("protocol.*", transports), refuse("protocol.<name>.*", transports),
    refuse("pull.octopus", strategy), refuse("pull.twohead", strategy), only("pull.rebase", rebaseValues),
    allow("pull.ff"),
    refuse("push.gpgSign", signs), refuse("push.pushOption", "sends options to the remote"),
    allow("push.autoSetupRemote"), allow("push.default"), allow("push.followTags"), allow("push.negotiate"),
    allow("push.recurseSubmodules"), allow("push.useBitmaps"), allow("push.useForceIfIncludes"),
    allow("rebase.abbreviateCommands"), allow("rebase.autoSquash"), allow("rebase.autoStash"),
    allow("rebase.backend"), allow("rebase.forkPoint"), allow("rebase.instructionFormat"),
    allow("rebase.missingCommitsCheck"), allow("rebase.rescheduleFailedExec"), allow("rebase.stat"),
    allow("rebase.updateRefs"),
    refuse("receive.fsck.skipList", readsFile), exactly("receive.fsck.<msg-id>", onlyError),
    refuse("receive.procReceiveRefs", "makes git run the proc-receive hook"),
    allow("receive.advertiseAtomic"), allow("receive.advertisePushOptions"), allow("receive.autogc"),
    allow("receive.certNonceSeed"), allow("receive.certNonceSlop"), allow("receive.denyCurrentBranch"),
    allow("receive.denyDeleteCurrent"), allow("receive.denyDeletes"), allow("receive.denyNonFastForwards"),
    only("receive.fsckObjects", onlyTrue), allow("receive.hideRefs"), allow("receive.keepAlive"),
    allow("receive.maxInputSize"), allow("receive.shallowUpdate"), allow("receive.unpackLimit"),
    allow("receive.updateServerInfo"),
    refuse("remote.<name>.proxy", redirects), refuse("remote.<name>.proxyAuthMethod", redirects),
    refuse("remote.<name>.receivepack", remoteProgram), refuse("remote.<name>.uploadpack", remoteProgram),
    refuse("remote.<name>.vcs", remoteProgram), refuse("remote.<name>.lfsurl", lfsAddress, false),
    refuse("remote.<name>.annex-*", annex, false), refuse("remote.<name>.annexUrl", annex, false),
    refuse("remote.<name>.gcrypt-*", gcrypt, false), allow("remote.<name>.gh-resolved", false),
    refuse("remote.<name>.lfspushurl", lfsAddress, false), refuse("remote.lfsdefault", lfsAddress, false),
    refuse("remote.lfspushdefault", lfsAddress, false), address("remote.<name>.pushurl"),
    address("remote.<name>.url"), remote("remote.pushDefault"), allow("remote.<name>.fetch"),
    allow("remote.<name>.mirror"), allow("remote.<name>.partialclonefilter"), allow("remote.<name>.promisor"),
    allow("remote.<name>.prune"), allow("remote.<name>.pruneTags"), allow("remote.<name>.push"),
    allow("remote.<name>.skipDefaultUpdate"), allow("remote.<name>.skipFetchAll"),
    allow("remote.<name>.tagOpt"),
    allow("remotes.<group>"),
    allow("repack.cruftDepth"), allow("repack.cruftThreads"), allow("repack.cruftWindow"),
    allow("repack.cruftWindowMemory"), allow("repack.packKeptObjects"), allow("repack.updateServerInfo"),
    allow("repack.useDeltaBaseOffset"), allow("repack.useDeltaIslands"), allow("repack.writeBitmaps"),
    allow("rerere.autoUpdate"), allow("rerere.enabled"),
    allow("revert.reference"),
    refuse("safe.*", protection),
    refuse("scalar.repo", otherRepositories, false),
    refuse("sendemail.*", mail), refuse("sendemail.<identity>.*", mail),
    refuse("sequence.editor", startsProgram),
    allow("showBranch.default"),
    allow("sparse.expectFilesOutsideOfPatterns"),
    allow("splitIndex.maxPercentChange"), allow("splitIndex.sharedIndexExpire"),
    refuse("ssh.variant", "chooses how git runs ssh"),
    // What `git svn init` and `git svn fetch` write; the addresses of the rest of its section, and of svn,
    // go to paths and programs too.
    schemes("svn-remote.<name>.url", "http|https|svn|svn+ssh"),
    schemes("svn-remote.<name>.pushurl", "http|https|svn|svn+ssh"), allow("svn-remote.<name>.fetch", false),
    allow("svn-remote.<name>.branches", false), allow("svn-remote.<name>.tags", false),
    allow("svn-remote.<name>.branches-maxRev", false), allow("svn-remote.<name>.tags-maxRev", false),
    refuse("svn-remote.<name>.*", svn, false), refuse("svn.*", svn, false),
    allow("stash.showIncludeUntracked"), allow("stash.showPatch"), allow("stash.showStat"),
    allow("status.aheadBehind"), allow("status.branch"), allow("status.displayCommentPrefix"),
    allow("status.relativePaths"), allow("status.renameLimit"), allow("status.renames"),
    allow("status.short"), allow("status.showStash"), allow("status.showUntrackedFiles"),
    allow("status.submoduleSummary"),
    // "!command" runs the command.
    only("submodule.<name>.update", "checkout|rebase|merge|none"),
    refuse("submodule.alternateLocation", "borrows objects through alternates"),
    allow("submodule.<name>.active"), allow("submodule.<name>.branch"),
    allow("submodule.<name>.fetchRecurseSubmodules"), allow("submodule.<name>.ignore"),
    address("submodule.<name>.url"), allow("submodule.active"), allow("submodule.alternateErrorStrategy"),
    allow("submodule.fetchJobs"), allow("submodule.propagateBranches"), allow("submodule.recurse"),
    refuse("tag.forceSignAnnotated", signs), refuse("tag.gpgSign", signs), allow("tag.sort"),
    refuse("tar.<format>.*", "defines an archive filter, a command", false), allow("tar.umask"),
    refuse("trace2.*", "names a file or socket git writes to"),
    // The text of a trailer and what git does where one is there already; its command runs.
    allow("trailer.<token>.key", false), allow("trailer.<token>.ifexists", false),
    refuse("trailer.<token>.*", "defines a trailer, whose command git runs", false),
    // The user's "die" or "warn" must not be lowered to "allow".
    only("transfer.credentialsInUrl", "warn|die"), allow("transfer.advertiseSID"),
    only("transfer.fsckObjects", onlyTrue), allow("transfer.hideRefs"), allow("transfer.unpackLimit"),
    allow("uploadarchive.allowUnreachable"),
    refuse("uploadpack.packObjectsHook", startsProgram), allow("uploadpack.allowAnySHA1InWant"),
    allow("uploadpack.allowFilter"), allow("uploadpack.allowReachableSHA1InWant"),
    allow("uploadpack.allowRefInWant"), allow("uploadpack.allowTipSHA1InWant"), allow("uploadpack.hideRefs"),
    allow("uploadpack.keepAlive"),
    allow("uploadpackfilter.<filter>.allow"), allow("uploadpackfilter.allow"),
    allow("uploadpackfilter.tree.maxDepth"),
    {"url.<base>.insteadOf", Verdict::networkBase, redirects},
    {"url.<base>.pushInsteadOf", Verdict::networkBase, redirects}, refuse("url.<base>.*", redirects, false),
    refuse("user.signingKey", signs), allow("user.email"), allow("user.name"), allow("user.useConfigOnly"),
    allow("versionsort.suffix"),
    refuse("web.browser", tool),
    allow("worktree.guessRemote"),
    // clang-format on
};

bool isOneOf(std::string_view value, std::string_view alternatives, bool withCase) {
    while (true) {
        const std::size_t bar = alternatives.find('|');
        const std::string_view alternative = alternatives.substr(0, bar);
        if (withCase ? value == alternative : GitConfigKey::sameWithoutCase(value, alternative)) {
            return true;
        }
        if (bar == std::string_view::npos) {
            return false;
        }
        alternatives.remove_prefix(bar + 1);
    }
}

// Whether every address that begins with `base` is one git goes over the network for: `base` begins
// with one of git's network schemes and "://", or is ssh's "user@host:…" where a character no scheme
// holds comes before the colon (after a plain "host:", a "::" or "//" would make "host" a helper's name
// or a scheme).
bool staysOverTheNetwork(std::string_view base) {
    const std::size_t scheme = base.find("://");
    if (scheme != std::string_view::npos) {
        return GitNetworkAddress::overTheNetwork(base) && scheme == GitNetworkAddress::schemeLength(base);
    }
    const std::size_t colon = base.find(':');
    return GitNetworkAddress::overTheNetwork(base) && base.find('@') < colon &&
           GitNetworkAddress::schemeLength(base) < colon;
}

// Whether `address` begins with one of `schemes` ("http|https") and "://".
bool hasScheme(std::string_view address, std::string_view schemes) {
    const std::size_t end = address.find("://");
    return end != std::string_view::npos && end > 0 && isOneOf(address.substr(0, end), schemes, true);
}

// The rules' keys, parsed on first use: every entry of a folder's configuration is looked up there.
const GitConfigKeyIndex& ruleIndex() {
    static const GitConfigKeyIndex index([] {
        std::vector<std::string> keys;
        keys.reserve(std::size(rules));
        for (const auto& rule : rules) {
            keys.emplace_back(rule.key);
        }
        return keys;
    }());
    return index;
}

} // namespace

std::span<const GitConfigRule> GitConfigAllowList::all() {
    return rules;
}

const GitConfigRule* GitConfigAllowList::ruleFor(std::string_view key) {
    const auto position = ruleIndex().firstMatch(key);
    return position ? &rules[*position] : nullptr;
}

std::optional<std::string> GitConfigAllowList::refusal(std::string_view key,
                                                       std::optional<std::string_view> value,
                                                       const GitListedKeys* listed) {
    return refusal(ruleFor(key), key, value, listed);
}

std::optional<std::string> GitConfigAllowList::refusal(const GitConfigRule* rule, std::string_view key,
                                                       std::optional<std::string_view> value,
                                                       const GitListedKeys* listed) {
    if (!rule) {
        // Read by no program git starts for it (the rules name those), nor by git where it does not list it:
        // the caller looks whether its value may name a program or file of the folder.
        if (listed && GitConfigKey::parse(key) && !listed->lists(key)) {
            return std::nullopt;
        }
        return "not known to be harmless";
    }
    switch (rule->verdict) {
    case Verdict::allowed:
    case Verdict::ownWorkTree:
    case Verdict::ownHooks:
    case Verdict::workTreeFile:
        return std::nullopt;
    case Verdict::networkBase:
        if (const auto parts = GitConfigKey::parse(key);
            parts && parts->subsection && staysOverTheNetwork(*parts->subsection)) {
            return std::nullopt;
        }
        return std::string(rule->detail) +
               ", harmless only as an address over the network whatever follows (scheme://… or user@host:…)";
    case Verdict::someValues:
    case Verdict::exactValues: {
        // A key without a value is git's "true"; the lists name values only as written.
        if (value && isOneOf(*value, rule->detail, rule->verdict == Verdict::exactValues)) {
            return std::nullopt;
        }
        std::string why = rule->otherValues.empty() ? "" : std::string(rule->otherValues) + ", ";
        return why + "harmless only as one of " + std::string(rule->detail);
    }
    case Verdict::networkAddress:
    case Verdict::remoteName:
        if (value && (GitNetworkAddress::overTheNetwork(*value) ||
                      (rule->verdict == Verdict::remoteName && GitNetworkAddress::mayNameRemote(*value)))) {
            return std::nullopt;
        }
        return std::string(notOverTheNetwork);
    case Verdict::schemeAddress:
        if (value && hasScheme(*value, rule->detail)) {
            return std::nullopt;
        }
        return "harmless only as an address of " + std::string(rule->detail);
    case Verdict::noShellSyntax:
        if (!value || !GitConfigValue::holdsShellSyntax(*value)) {
            return std::nullopt;
        }
        return std::string(rule->detail) + ", harmless only without shell syntax";
    case Verdict::refused:
        break;
    }
    return std::string(rule->detail);
}

} // namespace korvane
